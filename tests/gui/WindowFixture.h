#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QTest>

#include <nlohmann/json.hpp>

#include "engine/Engine.h"
#include "engine/SchemaJson.h"
#include "gui/MainWindow.h"
#include "support/TempPrefix.h"

// Readable failure messages for Qt texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace actualiz::testing {

// One QApplication for the whole test program, on the offscreen platform unless the caller chose
// another one. It is made and destroyed by a test environment, inside the test run: a static
// QApplication would outlive the toolkit's own globals and crash the program as it exits.
class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        application_ = new QApplication(argc_, argv_);
        // The tests close windows without an event loop of their own.
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override {
        delete application_;
        application_ = nullptr;
    }
    static QApplication* application() { return application_; }

  private:
    static inline int argc_ = 1;
    static inline char name_[] = "gui_tests";
    static inline char* argv_[] = {name_, nullptr};
    static inline QApplication* application_ = nullptr;
};

inline const bool kQtEnvironmentRegistered =
    (::testing::AddGlobalTestEnvironment(new QtEnvironment), true);

inline QApplication& Application() {
    return *QtEnvironment::application();
}

// A message box as the window would have shown it.
struct ShownMessage {
    QMessageBox::Icon icon;
    QString title;
    QString text;
};

// A fresh prefix with the program folder C:\prog (models in C:\prog\modelos), the default data
// folder and the three catalogs, and a window on it whose message boxes are recorded and
// answered at once.
class WindowTest : public ::testing::Test {
  protected:
    static constexpr const char* kDataFolder = "archivos de programa/Mirto 2000/bases";
    static constexpr const char* kDataPath = "c:\\archivos de programa\\Mirto 2000\\bases";

    void SetUp() override {
        Application();
        prefix.makeDir("prog/modelos");
        prefix.makeDir(kDataFolder);
    }

    void TearDown() override { window.reset(); }

    // The catalogs the form opens when it loads, empty. Without them loading reports failures.
    void BuildCatalogs(bool indices = true, bool relacion = true, bool consulta = true) {
        using nlohmann::json;
        prefix.makeDir("ActMirto");
        auto textTable = [](const char* name, std::vector<const char*> fields) {
            json t{{"name", name}, {"fields", json::array()}};
            for (const char* f : fields)
                t["fields"].push_back({{"name", f}, {"type", engine::dbText}, {"size", 50}});
            return json{{"tables", json::array({t})}};
        };
        if (indices)
            engine::BuildDatabase("C:\\ActMirto\\indices.mdb",
                                  textTable("indices", {"nombreind", "tabla", "campo", "unico"}))
                ->Close();
        if (relacion)
            engine::BuildDatabase("C:\\ActMirto\\relacion.mdb",
                                  textTable("relacion", {"nombrerel", "tabla", "tablafor",
                                                         "atributos", "campo", "campofor"}))
                ->Close();
        if (consulta)
            engine::BuildDatabase("C:\\ActMirto\\consulta.mdb",
                                  textTable("consulta", {"nombrecon", "consulta"}))
                ->Close();
    }

    // Builds the window without showing it.
    gui::MainWindow& Create() {
        window = std::make_unique<gui::MainWindow>("C:\\prog");
        window->host().SetPresenter(
            [this](QMessageBox::Icon icon, const QString& title, const QString& text) {
                messages.push_back({icon, title, text});
            });
        return *window;
    }

    // Builds and shows the window and waits until the form has been activated.
    gui::MainWindow& Open() {
        Create();
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        EXPECT_TRUE(QTest::qWaitFor([this] { return window->Activated(); }))
            << "the form was never activated";
        return *window;
    }

    QWidget* W(const char* name) const {
        QWidget* widget = window->WidgetFor(name);
        EXPECT_NE(widget, nullptr) << "no widget for " << name;
        return widget;
    }

    // Where a control lies on the window, in the window's own pixels.
    QRect Area(const char* name) const {
        QWidget* widget = W(name);
        return QRect(widget->mapTo(window.get(), QPoint(0, 0)), widget->size());
    }

    // The controls a user can see now: drawn, and at least partly inside the client area.
    std::set<std::string> VisibleControls() const {
        std::set<std::string> out;
        for (app::Control* control : window->form().Controls()) {
            std::string name = control->FullName();
            QWidget* widget = window->WidgetFor(name);
            if (!widget || !widget->isVisible()) continue;
            QRect area(widget->mapTo(window.get(), QPoint(0, 0)), widget->size());
            if (area.intersects(window->rect())) out.insert(name);
        }
        return out;
    }

    TempPrefix prefix;  // first: the window reads its drives while it lives
    std::vector<ShownMessage> messages;
    std::unique_ptr<gui::MainWindow> window;
};

}  // namespace actualiz::testing
