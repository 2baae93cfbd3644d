#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/FormFixture.h"
#include "engine/Engine.h"
#include "engine/SchemaJson.h"

namespace actualiz::testing {

using nlohmann::json;

inline constexpr const char* kNeptuno = "C:\\Neptuno.mdb";

// A form on a fresh prefix, with the sample database C:\Neptuno.mdb laid out when a test asks.
class FieldsTest : public FormTest {
  protected:
    // Empleados with three employees; extra fields (name, type, size) go after the usual ones.
    void BuildNeptuno(const std::vector<json>& extraFields = {},
                      const std::vector<json>& extraValues = {}) {
        json fields = {{{"name", "IdEmpleado"}, {"type", engine::dbLong}},
                       {{"name", "Apellidos"}, {"type", engine::dbText}, {"size", 20}},
                       {{"name", "Nombre"}, {"type", engine::dbText}, {"size", 10}},
                       {{"name", "Salario"}, {"type", engine::dbDouble}}};
        for (const json& f : extraFields) fields.push_back(f);
        json rows = json::array();
        const std::vector<json> people = {{1, "Dávolio", "Nancy", 1850.5},
                                          {2, "Fuller", "Andrew", 2400.0},
                                          {3, "Leverling", "Janet", 1720.25}};
        for (const json& person : people) {
            json row = person;
            for (const json& v : extraValues) row.push_back(v);
            rows.push_back(row);
        }
        engine::BuildDatabase(
            kNeptuno, {{"tables", {{{"name", "Empleados"}, {"fields", fields}, {"rows", rows}}}}})
            ->Close();
    }

    // The structure of Empleados and, when asked, its rows (values in field order, read through
    // a record set on the table).
    static json Empleados(bool withRows = false) {
        auto db = engine::OpenDatabase(kNeptuno);
        json d = engine::DescribeDatabase(*db);
        json out;
        for (const auto& t : d["tables"])
            if (t["name"] == "Empleados") out = t;
        if (withRows) {
            out["rows"] = json::array();
            auto rs = db->OpenRecordset("Empleados");
            for (; !rs->Eof(); rs->MoveNext()) {
                json row = json::array();
                for (const auto& f : rs->Fields())
                    row.push_back(engine::ValueToJson(f->GetValue()));
                out["rows"].push_back(row);
            }
            rs->Close();
        }
        db->Close();
        return out;
    }
    static std::vector<std::string> FieldNames() {
        std::vector<std::string> names;
        json table = Empleados();
        for (const auto& f : table["fields"]) names.push_back(f["name"]);
        return names;
    }
    static json FieldOf(const std::string& name) {
        json table = Empleados();
        for (const auto& f : table["fields"])
            if (f["name"] == name) return f;
        return json();
    }

    // Takes every write permission from the file: the engine then opens it read-only, even for
    // a privileged user, and its table definitions cannot be updated.
    void MakeNeptunoReadOnly() const {
        ASSERT_EQ(::chmod(prefix.driveCPath("Neptuno.mdb").c_str(), 0444), 0);
    }

    std::vector<app::Actualiz::CommandError> ErrorsOf(const std::string& command) const {
        std::vector<app::Actualiz::CommandError> out;
        for (const auto& e : form->Errors())
            if (e.command == command) out.push_back(e);
        return out;
    }
};

}  // namespace actualiz::testing
