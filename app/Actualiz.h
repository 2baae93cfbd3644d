#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/Controls.h"
#include "app/Host.h"
#include "platform/Error.h"

namespace actualiz::engine {
class TableDef;
}  // namespace actualiz::engine

namespace actualiz::app {

// Thrown by Actualiz::End to stop the running command at once, the way the classic End
// statement does. It is deliberately no std::exception, so that skip-on-error steps do not
// swallow it; Click and Run catch it.
struct ApplicationEnded {};

namespace detail {
// Owns every control of the window, built from the inventory. It is the form's first member so
// that the named control references below can be bound to its elements.
class ControlStore {
  public:
    ControlStore();
    ~ControlStore();
    ControlStore(const ControlStore&) = delete;
    ControlStore& operator=(const ControlStore&) = delete;

    Control* Find(std::string_view name, int index) const;
    template <class T>
    T& Get(std::string_view name, int index = -1) const {
        return dynamic_cast<T&>(*Find(name, index));
    }
    template <class T>
    ControlArray<T> Array(std::string_view name) const {
        ControlArray<T> array{std::string(name)};
        for (const auto& control : controls_)
            if (control->Name() == name && control->Index() >= 0)
                array.Add(control->Index(), dynamic_cast<T&>(*control));
        return array;
    }
    const std::vector<std::unique_ptr<Control>>& All() const { return controls_; }

  private:
    std::vector<std::unique_ptr<Control>> controls_;
};
}  // namespace detail

// The main window without its toolkit: every control as working state, and every command as
// a method without arguments or result. The Qt window and the headless runner draw and drive
// this object; neither holds state of its own.
class Actualiz {
    detail::ControlStore store_;  // first: the references below point into it

  public:
    // programFolder: the folder the program was started from, as a Windows path the way the
    // system reports it (no trailing backslash except at a drive root, "C:\"). Loading opens
    // the three catalog data controls; a missing catalog is recorded in Errors() under
    // "Form_Load" and shown through the host, and the form opens all the same.
    Actualiz(Host& host, std::string programFolder);
    ~Actualiz();
    Actualiz(const Actualiz&) = delete;
    Actualiz& operator=(const Actualiz&) = delete;

    // ---- Controls, named as the window names them ----
    DriveListBox& Drive1;
    DirListBox& Dir1;

    CommandButton &Command1, &Command2, &Command3, &Command4, &Command5, &Command6, &Command7,
        &Command8, &Command9, &Command10, &Command11, &Command12, &Command13, &Command14,
        &Command15, &Command16, &Command17, &Command18, &Command19, &Command20, &Command21,
        &Command22, &Command23, &Command24, &Command25, &Command26, &Command27;

    ListBox &List2, &List3, &List4, &List6, &List7, &List8, &List10;
    ControlArray<ListBox> List1, List5, List9, List11;

    TextBox &Text2, &Text3, &Text4, &Text5;
    ControlArray<TextBox> Text1, Text6, campocon;

    Label &Label1, &Label2, &Label3, &Label4, &Label5, &Label6, &Label7, &Label8;
    ProgressBar &Bar1, &Bar2, &Bar3, &Bar4, &Bar5, &Bar6;

    Frame &Frame3, &Frame4, &Frame5, &Frame6, &Frame7, &Frame8, &Frame9, &Frame10, &Frame12,
        &Frame13;
    ControlArray<Frame> Frame1, Frame2, Frame11;

    DataControl &Data1, &Data2, &Data3, &Data4, &Data5;

    // ---- The form itself ----
    Host& host() const { return host_; }
    const std::string& ProgramFolder() const { return programFolder_; }
    int MousePointer() const { return mousePointer_; }
    void SetMousePointer(int pointer);
    // The product title in the title bar and on every message box.
    static const std::string& Title();
    // Ends the program at once: the host closes the view, and the running command stops here
    // (ApplicationEnded unwinds it; Click and Run catch it). Databases the commands opened are
    // released as the stack unwinds.
    [[noreturn]] void End();
    bool Ended() const { return ended_; }

    // Failures that reached a command started by Click or Run (and the loading of the form,
    // under "Form_Load").
    struct CommandError {
        std::string command;
        int number;
        std::string description;
    };
    std::vector<CommandError>& Errors() { return errors_; }
    const std::vector<CommandError>& Errors() const { return errors_; }

    // Everything skip-on-error mode passed over (see SkipOnError), with the old database the
    // step worked on. command is the command the failure escaped from (the innermost one), file
    // the file it concerns: the old database, or the model or catalog when that was at fault.
    struct SkippedError {
        std::string command;
        std::string database;
        int number;
        std::string description;
        std::string file;
    };
    std::vector<SkippedError>& Skipped() { return skipped_; }
    const std::vector<SkippedError>& Skipped() const { return skipped_; }
    // The innermost command a failure escaped from, noted while it unwinds (CommandScope) and
    // taken, once, by whoever passes the failure over or records it.
    void NoteFailingCommand(const char* command);
    std::string TakeFailingCommand();

    // ---- Finding controls by name (the view and the runner) ----
    // nullptr when there is no such control. fullName is "List6" or "List1(3)".
    Control* FindControl(std::string_view fullName) const;
    Control* FindControl(std::string_view name, int index) const {
        return store_.Find(name, index);
    }
    // Every control, in inventory order.
    std::vector<Control*> Controls() const;
    // Whether the user can see (and so click) the control: its own flag and that of every
    // frame around it.
    bool IsShown(const Control& control) const;

    // ---- Dispatch ----
    using Handler = void (Actualiz::*)();
    // The command handlers by method name; one line per handler in app/Handlers.cpp.
    static const std::map<std::string, Handler, std::less<>>& Handlers();
    static bool HasHandler(std::string_view handlerName);
    // A user's click on a button: a button that is not shown cannot be clicked (recorded as an
    // error, nothing runs). A failure that reaches the command is recorded in Errors() and shown
    // through the host; the program goes on.
    void Click(std::string_view buttonName);
    // Runs a command by method name ("Command13_Click") as another command would call it,
    // hidden or not; failures are recorded and shown as for Click.
    void Run(std::string_view handlerName);

    // ---- Start-up and folder navigation ----
    void Form_Activate();
    void Drive1_Change();
    void Dir1_Change();
    void Command14_Click();  // "Salir"
    void Command1_Click();   // "SEL": does nothing
    void Command7_Click();   // "SELECCIONAR": does nothing

    // Default data folder, and the folder used when it does not exist.
    static constexpr const char* kDefaultDataFolder = "c:\\archivos de programa\\Mirto 2000\\bases";
    static constexpr const char* kFallbackDataFolder = "c:\\";
    // Search pattern of the model databases: the program folder followed by "\modelos\*.mdb"
    // (doubled backslash at a drive root, passed on as it is).
    static std::string ModelPattern(std::string_view programFolder);
    // Search pattern of the old databases in a data folder: "*.mdb" after a trailing backslash
    // (a drive root), "\*.mdb" otherwise.
    static std::string OldDatabasePattern(std::string_view dataFolder);

    // ---- Table and field lists (sync/) ----
    void Command6_Click();   // "Lista de Tablas": tables of both databases into List2, List3
    void Command10_Click();  // "Lista Campos Origen": model table of List2 into List1(0..2)
    void Command11_Click();  // "Lista Campos Destino": old table of List3 into List5(0..2)
    void Command2_Click();   // "Lista de Campos": model table of List4 into List1(0..2)
    void Command8_Click();   // "Igualar BBDD": creates the model tables the old database lacks
    void Command9_Click();   // "Crear Tabla": does nothing
    void Command12_Click();  // "Recorrer Tablas": appends the fields the old tables lack

    // ---- Transformation driver (transform/) ----
    void Command15_Click();  // "Bases Añadir": models without an old database into List8
    void Command13_Click();  // "Transformar": upgrades every old database, copies new ones

    // ---- Index catalog ----
    void Command17_Click();  // "Lista de Indices Destino": record the old database's indexes
    void Command18_Click();  // "Borra los indices": remove them from the old database
    void Command19_Click();  // "Lista de Indices Modelo": record the model's indexes
    void Command16_Click();  // "Copia los indices": create the recorded indexes

    // ---- Relation catalog ----
    void Command22_Click();  // "Lista Relaciones": record the model's relations, list both
    void Command20_Click();  // "Borrar Relacion": delete the old database's listed relations
    void Command21_Click();  // "Crea Relacion": create the recorded relations

    // ---- Query catalog (catalogs/) ----
    void Command24_Click();  // "Lista de Consultas": record the model's queries, list the old
    void Command23_Click();  // "Iguala Consultas": replace the old database's queries

    // ---- Fixed migrations (migrations/) ----
    // How the last fixed migration ended, as the migration itself says: a caller reads this
    // rather than the text of its messages. NotFinished when it stopped on a failure (or none ran).
    enum class MigrationOutcome { NotFinished, Done, TableThere, IndexesMissing };
    MigrationOutcome LastMigration() const { return lastMigration_; }
    void SetMigrationOutcome(MigrationOutcome outcome) { lastMigration_ = outcome; }
    void Command25_Click();  // "Transformar": table histoprod in clientes.mdb
    void Command26_Click();  // "Transformar": table auxcli in clientes.mdb
    void Command27_Click();  // "Transformar": table gastosgen in almacen.mdb

    // ---- Field routines (fields/) ----
    // Appends (strComando "APPEND") or deletes ("DELETE") the field strNombre of tdfTemp; TIPO
    // and size are used by "APPEND" only. Any other command does nothing. Engine errors reach
    // the caller.
    void AnexarEliminarCampo(engine::TableDef& tdfTemp, const std::string& strComando,
                             const std::string& strNombre, std::int16_t TIPO, std::int16_t size);
    void AppendX();         // Correo, Http and Cuota into Empleados of C:\Neptuno.mdb
    void Command3_Click();  // "Llenar DBGRID"
    void Command4_Click();  // "Añadir Campo"
    void Command5_Click();  // "Borrar Campos"

  private:
    void Load();
    void RecordFailure(const std::string& command, const Error& error);
    void Dispatch(const std::string& command, Handler handler);

    Host& host_;
    std::string programFolder_;
    int mousePointer_ = kDefaultPointer;
    bool ended_ = false;
    MigrationOutcome lastMigration_ = MigrationOutcome::NotFinished;
    std::vector<CommandError> errors_;
    std::vector<SkippedError> skipped_;
    std::string failingCommand_;
};

}  // namespace actualiz::app
