#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "catalogs/CatalogFiles.h"
#include "platform/FileSystem.h"
#include "sync/SyncFixture.h"

namespace actualiz::testing {

// A form loaded with the three catalogs in place, a program folder C:\prog with its models
// folder, and the default data folder, so that activating the form lists both folders the way
// the user finds them.
class DriverTest : public SyncTest {
  protected:
    static constexpr const char* kDataFolder = "archivos de programa/Mirto 2000/bases";
    static constexpr const char* kDataPath = "c:\\archivos de programa\\Mirto 2000\\bases";

    void SetUp() override {
        SyncTest::SetUp();
        catalogs::CreateCatalogs(false);
        prefix.makeDir(kDataFolder);
        Reload();
        ASSERT_TRUE(form->Errors().empty()) << "the catalogs did not open at load";
    }

    static std::string DataPath(const std::string& name) {
        return std::string(kDataPath) + "\\" + name;
    }
    static void Model(const std::string& name, const json& document) {
        Build(ModelPath(name), document);
    }
    static void Old(const std::string& name, const json& document) {
        Build(DataPath(name), document);
    }

    // The run as the user starts it: the form becomes active (both lists filled), then the
    // driver runs as the button would run it.
    void ActivateAndTransform() {
        form->Form_Activate();
        form->Command13_Click();
    }

    // Bytes of a file below drive C, to show that a file was not touched at all.
    std::string FileBytes(const std::string& relative) const {
        std::ifstream in(prefix.driveCPath(relative), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // Every skip the sync and transform commands recorded (the catalog commands keep theirs).
    std::vector<std::string> SyncSkips() const {
        std::vector<std::string> out;
        for (const auto& s : form->Skipped()) {
            if (s.command == "Command6_Click" || s.command == "Command8_Click" ||
                s.command == "Command10_Click" || s.command == "Command12_Click" ||
                s.command == "Command13_Click")
                out.push_back(s.command + " " + std::to_string(s.number) + " " + s.description);
        }
        return out;
    }
};

}  // namespace actualiz::testing
