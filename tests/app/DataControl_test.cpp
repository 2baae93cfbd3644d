#include <gtest/gtest.h>

#include "FormFixture.h"
#include "engine/Engine.h"

namespace actualiz::testing {
namespace {

// A prefix whose index catalog holds two rows, and a form loaded on it.
class DataControls : public ::testing::Test {
  protected:
    void SetUp() override {
        prefix.makeDir("ActMirto");
        auto db = engine::CreateDatabase("C:\\ActMirto\\indices.mdb");
        auto table = db->CreateTableDef("indices");
        for (const char* name : {"nombreind", "tabla", "campo", "unico"}) {
            auto field = table->CreateField(name, engine::dbText, 50);
            field->SetAllowZeroLength(true);
            table->Fields().Append(field);
        }
        db->TableDefs().Append(table);
        auto rs = db->OpenRecordset("indices");
        AddRow(*rs, {"PrimaryKey", "Clientes", "Codigo", "Verdadero"});
        AddRow(*rs, {"Nombre", "Clientes", "Nombre", "Falso"});
        AddRow(*rs, {"PrimaryKey", "Pedidos", "Numero", "Verdadero"});
        rs->Close();
        db->Close();
        form = std::make_unique<app::Actualiz>(host, "C:\\prog");
    }

    static void AddRow(engine::Recordset& rs, std::vector<std::string> values) {
        rs.AddNew();
        for (int i = 0; i < 4; ++i) rs.Fields()[i]->SetValue(engine::Value(values[i]));
        rs.Update();
    }

    std::vector<std::string> Boxes() const {
        std::vector<std::string> out;
        for (int i = 0; i < 4; ++i) out.push_back(form->Text1(i).Text());
        return out;
    }

    TempPrefix prefix;
    app::RecordingHost host;
    std::unique_ptr<app::Actualiz> form;
};

TEST_F(DataControls, TheIndexCatalogOpensAtLoadOnItsFirstRow) {
    EXPECT_TRUE(form->Data3.IsOpen());
    // Only the two catalogs this prefix lacks fail to open.
    EXPECT_FALSE(form->Data4.IsOpen());
    EXPECT_FALSE(form->Data5.IsOpen());
    EXPECT_EQ(form->Errors().size(), 2u);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"PrimaryKey", "Clientes", "Codigo", "Verdadero"}));
    EXPECT_EQ(form->Data3.Recordset().RecordCount(), 3);
}

TEST_F(DataControls, BoundBoxesFollowEveryMove) {
    auto& rs = form->Data3.Recordset();
    rs.MoveNext();
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Nombre", "Clientes", "Nombre", "Falso"}));
    rs.MoveLast();
    EXPECT_EQ(form->Text1(2).Text(), "Numero");
    rs.MoveFirst();
    EXPECT_EQ(form->Text1(2).Text(), "Codigo");
}

TEST_F(DataControls, AddNewClearsTheBoxesAndUpdateSavesThem) {
    auto& rs = form->Data3.Recordset();
    rs.AddNew();
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"", "", "", ""}));
    form->Text1(0).SetText("Fecha");
    form->Text1(1).SetText("Pedidos");
    form->Text1(2).SetText("Fecha");
    form->Text1(3).SetText("Falso");
    rs.Update();
    form->Data3.Refresh();
    auto& again = form->Data3.Recordset();
    EXPECT_EQ(again.RecordCount(), 4);
    again.MoveLast();
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Fecha", "Pedidos", "Fecha", "Falso"}));
}

TEST_F(DataControls, OnlyBoxesWrittenSinceTheRowWasShownAreSaved) {
    auto& rs = form->Data3.Recordset();
    rs.AddNew();
    form->Text1(0).SetText("Solo");
    rs.Update();
    form->Data3.SetRecordSource("Select * from indices where nombreind = 'Solo'");
    form->Data3.Refresh();
    auto& view = form->Data3.Recordset();
    ASSERT_EQ(view.RecordCount(), 1);
    EXPECT_TRUE(engine::IsNull(view.Fields()["tabla"]->GetValue()))
        << "a box nobody wrote must not be saved into the new row";
}

TEST_F(DataControls, RefreshOpensANewViewOnItsFirstRow) {
    form->Data3.SetRecordSource("Select * from indices where tabla = 'Pedidos'");
    form->Data3.Refresh();
    EXPECT_EQ(form->Data3.Recordset().RecordCount(), 1);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"PrimaryKey", "Pedidos", "Numero", "Verdadero"}));
}

TEST_F(DataControls, AnEmptyViewShowsEmptyBoxes) {
    form->Data3.SetRecordSource("Select * from indices where tabla = 'Nada'");
    form->Data3.Refresh();
    EXPECT_TRUE(form->Data3.Recordset().BOF());
    EXPECT_TRUE(form->Data3.Recordset().Eof());
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"", "", "", ""}));
}

TEST_F(DataControls, AFailedRefreshKeepsWhatWasOpen) {
    form->Data3.SetDatabaseName("C:\\ActMirto\\no existe.mdb");
    try {
        form->Data3.Refresh();
        FAIL() << "a missing database opened";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 3024);
    }
    EXPECT_TRUE(form->Data3.IsOpen());
    EXPECT_EQ(form->Data3.Recordset().RecordCount(), 3);
}

TEST_F(DataControls, DeletingTheCurrentRowLeavesTheBoxesUntilTheNextMove) {
    auto& rs = form->Data3.Recordset();
    rs.Delete();
    EXPECT_EQ(form->Text1(2).Text(), "Codigo");
    rs.MoveNext();
    EXPECT_EQ(form->Text1(2).Text(), "Nombre");
}

TEST_F(DataControls, AnUnboundDataControlOpensWhatACommandSets) {
    EXPECT_FALSE(form->Data1.IsOpen());
    form->Data1.SetDatabaseName("C:\\ActMirto\\indices.mdb");
    form->Data1.SetRecordSource("Select * from indices");
    form->Data1.Refresh();
    auto& fields = form->Data1.Recordset().Fields();
    ASSERT_EQ(fields.Count(), 4);
    EXPECT_EQ(fields[0]->Name(), "nombreind");
    EXPECT_EQ(fields[3]->Type(), engine::dbText);
    EXPECT_EQ(fields[3]->Size(), 50);
}

}  // namespace
}  // namespace actualiz::testing
