#pragma once

// A command that changes one database holds it open for writing for its whole run
// (engine::ForeignFileWriting): a real Access file is then changed through a writable stand-in
// and what the command changed is written into the file once, at the command's end. Commands
// nested in it (or the run around it) share that writing; only the outermost one writes.

#include <string>
#include <utility>

#include "engine/ForeignFiles.h"
#include "platform/Error.h"

namespace actualiz::app {

// Runs body with the database at path open for writing, then writes its changes back.
//
// A body that fails has still changed what it changed before its failure, and in one of our own
// databases that stays (the commands' messages say what is left missing): the same is written
// back into an Access file, and then the failure goes on. A write-back that fails leaves the file
// as it was and its error goes on instead, carrying the text of body's failure after its own.
// Refused at the start (the file in use), body does not run.
template <class Body>
void ChangingDatabase(const std::string& path, Body&& body) {
    engine::ForeignFileWriting writing(path);
    try {
        std::forward<Body>(body)();
    } catch (const Error& failure) {
        try {
            writing.Finish();
        } catch (const Error& refusal) {
            Error both(refusal.number(), refusal.description() + "\n" + failure.description());
            both.SetFile(refusal.file());
            throw both;
        }
        throw;
    }
    writing.Finish();
}

}  // namespace actualiz::app
