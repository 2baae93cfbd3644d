#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Actualiz.h"
#include "app/Host.h"
#include "support/TempPrefix.h"

namespace actualiz::testing {

// A fresh prefix with a program folder "C:\prog" and a form on it, not yet activated.
class FormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        prefix.makeDir("prog");
        form = std::make_unique<app::Actualiz>(host, "C:\\prog");
    }

    // Builds the form again (after the test laid out files that loading reads).
    void Reload(const std::string& programFolder = "C:\\prog") {
        form.reset();
        form = std::make_unique<app::Actualiz>(host, programFolder);
    }

    TempPrefix prefix;
    app::RecordingHost host;
    std::unique_ptr<app::Actualiz> form;
};

inline std::vector<std::string> Items(const app::ListBox& list) {
    return list.Items();
}

}  // namespace actualiz::testing
