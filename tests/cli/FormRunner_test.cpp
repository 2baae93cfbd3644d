#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "cli/FormRunner.h"
#include "support/RunProgram.h"
#include "support/TempPrefix.h"

namespace actualiz::testing {
namespace {

using cli::FormStep;

const char* kDataFolder = "archivos de programa/Mirto 2000/bases";

class FormRunnerEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        prefix.writeFile("prog/modelos/clientes.mdb", "m");
        prefix.writeFile("prog/modelos/nueva.mdb", "m");
        prefix.writeFile(std::string(kDataFolder) + "/clientes.mdb", "d");
        prefix.writeFile(std::string(kDataFolder) + "/ALMACEN.MDB", "d");
    }
    std::string programDir() const { return prefix.driveCPath("prog").string(); }

    TempPrefix prefix;
};

TEST_F(FormRunnerEndToEnd, ActivateListsOldAndModelDatabases) {
    CliResult r = RunCli({"form", "--program-dir", programDir(), "activate", "dump"});
    ASSERT_EQ(r.status, 0) << r.out;
    nlohmann::json dump = nlohmann::json::parse(r.out);
    const auto& controls = dump["controls"];
    EXPECT_EQ(controls["List7"]["items"], (std::vector<std::string>{"clientes.mdb", "nueva.mdb"}));
    EXPECT_EQ(controls["List6"]["items"],
              (std::vector<std::string>{"ALMACEN.MDB", "clientes.mdb"}));
    EXPECT_EQ(controls["Dir1"]["path"], "c:\\archivos de programa\\Mirto 2000\\bases");
    EXPECT_EQ(controls["List6"]["listIndex"], -1);
    EXPECT_EQ(controls["List1(3)"]["kind"], "listBox");
    EXPECT_EQ(controls["List1(3)"]["container"], "Frame2(1)");
    EXPECT_FALSE(controls.contains("List11(2)"));
    EXPECT_EQ(controls["Command13"]["visible"], false);
    EXPECT_EQ(controls["Bar1"]["max"], 100.0);
    EXPECT_EQ(controls["Data3"]["databaseName"], "C:\\ActMirto\\indices.mdb");
    EXPECT_EQ(controls["Frame13"]["refreshes"], 0);
    EXPECT_EQ(dump["mousePointer"], 0);
    EXPECT_EQ(dump["ended"], false);
    EXPECT_TRUE(dump["messages"].empty());
    // No catalogs in this prefix: the load reports each of them.
    ASSERT_EQ(dump["errors"].size(), 3u);
    EXPECT_EQ(dump["errors"][0]["command"], "Form_Load");
    EXPECT_TRUE(dump["errors"][0]["number"] == 3024 || dump["errors"][0]["number"] == 3044);
}

TEST_F(FormRunnerEndToEnd, AWindowsProgramDirWorksToo) {
    CliResult r = RunCli({"form", "--program-dir", "C:\\prog\\", "activate", "dump"});
    ASSERT_EQ(r.status, 0);
    auto dump = nlohmann::json::parse(r.out);
    EXPECT_EQ(dump["controls"]["List7"]["items"].size(), 2u);
}

TEST_F(FormRunnerEndToEnd, StepsRunInOrderAndFailuresAreRecorded) {
    CliResult r =
        RunCli({"form", "--program-dir", programDir(), "activate", "select", "List6=1", "set",
                "Text4=c:\\x\\y.mdb", "additem", "List2=Clientes", "select", "List2=4", "click",
                "Command13", "clear", "List7", "set", "Dir1=c:\\no hay", "dump"});
    ASSERT_EQ(r.status, 0);
    auto dump = nlohmann::json::parse(r.out);
    const auto& controls = dump["controls"];
    EXPECT_EQ(controls["List6"]["text"], "clientes.mdb");
    EXPECT_EQ(controls["Text4"]["text"], "c:\\x\\y.mdb");
    EXPECT_EQ(controls["List2"]["items"], std::vector<std::string>{"Clientes"});
    EXPECT_EQ(controls["List2"]["listIndex"], -1);
    EXPECT_TRUE(controls["List7"]["items"].empty());
    EXPECT_EQ(controls["Dir1"]["path"], "c:\\archivos de programa\\Mirto 2000\\bases");
    std::vector<std::pair<std::string, int>> errors;
    for (const auto& e : dump["errors"])
        if (e["command"] != "Form_Load") errors.emplace_back(e["command"], e["number"]);
    EXPECT_EQ(errors, (std::vector<std::pair<std::string, int>>{
                          {"select List2", 380}, {"Command13_Click", 5}, {"set Dir1", 76}}));
    EXPECT_NE(r.err.find("Command13_Click"), std::string::npos) << "failures are echoed";
}

TEST_F(FormRunnerEndToEnd, EndingStopsTheStepsButAFinalDumpPrints) {
    CliResult r = RunCli({"form", "--program-dir", programDir(), "click", "Command14", "set",
                          "Text4=despues", "activate", "dump"});
    ASSERT_EQ(r.status, 0);
    auto dump = nlohmann::json::parse(r.out);
    EXPECT_EQ(dump["ended"], true);
    EXPECT_EQ(dump["controls"]["Text4"]["text"], "c:\\Quenda\\viejas\\zuri.mdb");
    EXPECT_TRUE(dump["controls"]["List7"]["items"].empty());
}

TEST_F(FormRunnerEndToEnd, RunReachesHiddenAndVisibleHandlers) {
    prefix.writeFile("otra/z.mdb", "d");
    CliResult r = RunCli({"form", "--program-dir", programDir(), "set", "Dir1=c:\\otra", "run",
                          "Command7_Click", "run", "Dir1_Change", "dump"});
    ASSERT_EQ(r.status, 0);
    auto dump = nlohmann::json::parse(r.out);
    EXPECT_EQ(dump["controls"]["List6"]["items"], std::vector<std::string>{"z.mdb"});
}

TEST_F(FormRunnerEndToEnd, WrongArgumentsExitWithTwo) {
    EXPECT_EQ(RunCli({"form", "--program-dir", programDir(), "bogus"}).status, 2);
    EXPECT_EQ(RunCli({"form", "--program-dir", programDir()}).status, 2);
    EXPECT_EQ(RunCli({"form", "click", "Command99"}).status, 2);
    EXPECT_EQ(RunCli({"form", "click", "List6"}).status, 2);
    EXPECT_EQ(RunCli({"form", "select", "List6=x"}).status, 2);
    EXPECT_EQ(RunCli({"form", "run", "Command99_Click"}).status, 2);
    EXPECT_EQ(RunCli({"form", "set"}).status, 2);
    EXPECT_EQ(RunCli({"nothing"}).status, 2);
    CliResult wrong = RunCli({"form", "--program-dir", programDir(), "activate", "bogus", "dump"});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_TRUE(wrong.out.empty()) << "nothing may run when the steps are wrong";
    EXPECT_EQ(RunCli({"form", "--help"}).status, 0);
}

TEST(FormSteps, ParseEveryVerb) {
    auto steps = cli::ParseFormSteps({"activate", "set", "Text4=a=b", "select", "List1(3)=-1",
                                      "additem", "List11(3)=SELECT 1", "clear", "List6", "click",
                                      "Command27", "run", "Command14_Click", "dump"});
    ASSERT_EQ(steps.size(), 8u);
    EXPECT_EQ(steps[1].verb, FormStep::Verb::Set);
    EXPECT_EQ(steps[1].name, "Text4");
    EXPECT_EQ(steps[1].value, "a=b");
    EXPECT_EQ(steps[2].name, "List1(3)");
    EXPECT_EQ(steps[2].value, "-1");
    EXPECT_EQ(steps[3].value, "SELECT 1");
    EXPECT_EQ(steps[6].verb, FormStep::Verb::Run);
    EXPECT_EQ(steps[7].verb, FormStep::Verb::Dump);
}

TEST(FormSteps, RejectNamesTheWindowDoesNotHave) {
    EXPECT_THROW(cli::ParseFormSteps({"additem", "List11(2)=x"}), cli::UsageError);
    EXPECT_THROW(cli::ParseFormSteps({"set", "List6=x"}), cli::UsageError);
    EXPECT_THROW(cli::ParseFormSteps({"set", "=x"}), cli::UsageError);
    EXPECT_THROW(cli::ParseFormSteps({"set", "Text4"}), cli::UsageError);
    EXPECT_THROW(cli::ParseFormSteps({"clear"}), cli::UsageError);
}

TEST(ProgramDir, WindowsAndHostPathsGiveTheFolderAsTheSystemReportsIt) {
    TempPrefix prefix;
    prefix.makeDir("Prog Files/App");
    EXPECT_EQ(cli::ResolveProgramDir("c:\\prog\\"), "c:\\prog");
    EXPECT_EQ(cli::ResolveProgramDir("C:"), "C:\\");
    EXPECT_EQ(cli::ResolveProgramDir("C:\\"), "C:\\");
    EXPECT_EQ(cli::ResolveProgramDir(prefix.driveCPath("Prog Files/App").string() + "/"),
              "C:\\Prog Files\\App");
    EXPECT_EQ(cli::ResolveProgramDir(prefix.driveC().string()), "C:\\");
}

TEST(DumpJson, MessagesAndSkippedFailuresAreListed) {
    TempPrefix prefix;
    app::RecordingHost host;
    app::Actualiz form(host, "C:\\prog");
    form.host().MsgBox("La tabla histoprod ya existe", app::MsgIcon::Critical,
                       app::Actualiz::Title());
    form.Skipped().push_back(
        {"Command13_Click", "c:\\d\\a.mdb", 3010, "La tabla ya existe", "c:\\d\\a.mdb"});
    form.Bar2.SetMax(0);
    form.Label4.SetCaption("Procesando");
    auto dump = cli::DumpForm(form, host);
    ASSERT_EQ(dump["messages"].size(), 1u);
    EXPECT_EQ(dump["messages"][0]["icon"], "critical");
    EXPECT_EQ(dump["messages"][0]["title"], "Actualiz");
    EXPECT_EQ(dump["skipped"][0]["database"], "c:\\d\\a.mdb");
    EXPECT_EQ(dump["controls"]["Bar2"]["max"], 0.0);
    EXPECT_EQ(dump["controls"]["Label4"]["caption"], "Procesando");
    EXPECT_EQ(dump["controls"].size(), 106u);
}

}  // namespace
}  // namespace actualiz::testing
