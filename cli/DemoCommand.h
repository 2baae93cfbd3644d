#pragma once

#include <filesystem>
#include <iosfwd>

namespace CLI {
class App;
}

namespace actualiz::cli {

// Where the demo installs the program and keeps its data, as an installer would.
inline constexpr const char* kDemoProgramFolder = "c:\\archivos de programa\\Mirto 2000\\actualiz";

// `actualiz-cli demo DIR`: a self-contained prefix in DIR (drive C is DIR/drive_c) with the three
// empty catalogs, the program installed with its models, the default data folder holding older
// versions of them with data, and C:\Neptuno.mdb. Prints what it made and the commands to try
// next. program is the actualiz-cli to install (the running one); the window, "actualiz", is
// installed too when it lies beside it. Exit status 0 when done, 1 when DIR/drive_c already holds
// something or a step failed ("Error N: text" on err).
int DemoCommand(const std::filesystem::path& dir, const std::filesystem::path& program,
                std::ostream& out, std::ostream& err);

// Registers "demo".
void AddDemoCommand(CLI::App& app);

}  // namespace actualiz::cli
