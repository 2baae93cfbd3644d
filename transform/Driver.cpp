#include <optional>
#include <string>

#include "app/Actualiz.h"
#include "app/ErrorModes.h"
#include "engine/ForeignFiles.h"
#include "jet/JetReader.h"
#include "platform/FileSystem.h"

namespace actualiz::app {

namespace {

// A model that is a real Access file arrives as one of our databases (its import, rows and
// every stored query included): the raw file would open read-only, and the next run could not
// upgrade it.
void CopyNewDatabase(const std::string& model, const std::string& destination) {
    const std::filesystem::path host = platform::ToHostPath(model);
    if (engine::IsJetFile(host))
        platform::CopyHostFile(engine::JetReadingCopy(host), model, destination,
                               /*replaceExisting=*/false);
    else
        platform::CopyFile(model, destination, /*replaceExisting=*/false);
}

}  // namespace

// "Transformar": upgrades every old database in the data folder that has a model of the same
// name, then copies in the models that have no old counterpart. It runs in skip-on-error mode
// from start to end, so one failing step or database never stops the batch; what was passed
// over is recorded (Skipped()) for whoever wants to report it, and the run itself shows nothing
// but always ends on "Proceso Terminado".
void Actualiz::Command13_Click() {
    SetMousePointer(kHourglassPointer);
    SkipOnError step(*this, "Command13_Click");

    const int oldCount = List6.ListCount();
    if (oldCount > 0) {
        Bar1.SetValue(0);
        Bar1.SetMax(static_cast<float>(oldCount));
        for (int i = 0; i < oldCount; ++i) {
            Bar1.SetValue(static_cast<float>(i + 1));
            Label4.SetCaption(List7.Text());
            // The repaint is the one statement here that reaches out to the view; a view that
            // fails to paint must not stop the batch either.
            step([&] { Frame13.Refresh(); });
            List6.SetListIndex(i);
            // Every model is looked at, also after a match: the pairing is by exact name, so
            // there is at most one anyway.
            const int modelCount = List7.ListCount();
            for (int j = 0; j < modelCount; ++j) {
                List7.SetListIndex(j);
                if (List7.Text() != List6.Text()) continue;
                Label4.SetCaption(List7.Text());
                Text3.SetText(ProgramFolder() + "\\modelos\\" + List7.Text());
                Text4.SetText(Dir1.Path() + "\\" + List6.Text());
                // The same file reached twice (the data folder chosen as the models folder, a
                // link, a case variant) would lose its indexes, relations and queries to itself:
                // the pair is passed over and the refusal recorded.
                if (platform::SameFile(Text3.Text(), Text4.Text())) {
                    step([&] { throw platform::SameFileTwice(Text3.Text(), Text4.Text()); });
                    continue;
                }
                // A real Access file is changed through a writable stand-in for the whole pair;
                // what changed is written back into it at the end. Refused (the file in use), the
                // pair is passed over with nothing changed.
                std::optional<engine::ForeignFileWriting> writing;
                bool refused = true;
                step([&] {
                    writing.emplace(Text4.Text());
                    refused = false;
                });
                if (refused) continue;
                step([&] { Command6_Click(); });
                step([&] { Command8_Click(); });
                // Listed again so that the tables just created stand in List3 for the walk.
                step([&] { Command6_Click(); });
                step([&] { Command12_Click(); });
                // Indexes, relations and queries are replaced wholesale by the model's, each
                // through its catalog. In a real Access file what stays the same is written
                // nowhere; what the writer cannot make refuses the pair's write-back whole,
                // with the file as it was.
                step([&] { Command17_Click(); });
                step([&] { Command22_Click(); });
                step([&] { Command24_Click(); });
                step([&] { writing->Finish(); });
            }
        }
    }

    Label4.SetCaption("Añadiendo bases de datos nuevas");
    step([&] { Command15_Click(); });

    // A model may differ from an old database only in letter case; to the file system that is
    // the same file, and replacing it would destroy the old database with its data. Nothing that
    // is already there is ever replaced: the copy refuses (whatever the case of the name on
    // disk) and the refusal is recorded like any other failure. The copy goes through a
    // temporary file, so a failed copy leaves no half-written database behind.
    for (int k = 0; k < List8.ListCount(); ++k) {
        List8.SetListIndex(k);
        const std::string destination = Dir1.Path() + "\\" + List8.Text();
        step([&] { CopyNewDatabase(ProgramFolder() + "\\modelos\\" + List8.Text(), destination); },
             destination);
    }

    Label4.SetCaption("Proceso Terminado");
    step([&] { SetMousePointer(kDefaultPointer); });
}

}  // namespace actualiz::app
