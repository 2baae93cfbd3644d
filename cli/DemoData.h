#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace actualiz::cli {

// The databases of the demo installation, as structure documents of engine::BuildDatabase. They
// are the data files under cli/demo, built into the program: the models whole, and each older
// database as its model less what the model added since, plus its rows.
struct DemoDatabase {
    std::string name;  // file name
    nlohmann::json document;
};

// The models of the new version: clientes, almacen, productos, pedidos. They hold no rows.
std::vector<DemoDatabase> DemoModels();
// The installed, older databases, with data: clientes, almacen and productos lack tables, fields,
// indexes, relations and queries of their models; contabilidad has no model at all. pedidos has a
// model and no old database.
std::vector<DemoDatabase> DemoOldDatabases();
// The sample database C:\Neptuno.mdb with its table Empleados.
DemoDatabase DemoNeptuno();

}  // namespace actualiz::cli
