#include "cli/DemoData.h"

namespace actualiz::cli {

using nlohmann::json;

// Field type codes: 1 Boolean, 3 Integer, 4 Long, 7 Double, 8 Date, 10 Text, 12 Memo.

namespace {

// ---- Models (the new version's structure) ----

const char* const kModelClientes = R"json({
  "tables": [
    {"name": "clientes",
     "fields": [
       {"name": "codigocliente", "type": 4, "required": true},
       {"name": "nombre", "type": 10, "size": 50, "required": true},
       {"name": "apellidos", "type": 10, "size": 80, "allowZeroLength": true},
       {"name": "nif", "type": 10, "size": 12, "allowZeroLength": true},
       {"name": "direccion", "type": 10, "size": 120, "allowZeroLength": true},
       {"name": "poblacion", "type": 10, "size": 50, "allowZeroLength": true},
       {"name": "provincia", "type": 10, "size": 40, "allowZeroLength": true},
       {"name": "codigopostal", "type": 10, "size": 5, "allowZeroLength": true},
       {"name": "telefono", "type": 10, "size": 20, "allowZeroLength": true},
       {"name": "email", "type": 10, "size": 100, "allowZeroLength": true},
       {"name": "fechaalta", "type": 8},
       {"name": "activo", "type": 1},
       {"name": "saldo", "type": 7},
       {"name": "descuento", "type": 3, "defaultValue": "0",
        "validationRule": "Between 0 And 100", "validationText": "El descuento va de 0 a 100"},
       {"name": "observaciones", "type": 12, "allowZeroLength": true}
     ],
     "indexes": [
       {"name": "PrimaryKey", "fields": ["codigocliente"], "primary": true, "unique": true},
       {"name": "nif", "fields": ["nif"], "unique": true, "ignoreNulls": true},
       {"name": "nombrecompleto", "fields": ["apellidos", "nombre"]},
       {"name": "poblacion", "fields": ["poblacion"]}
     ]},
    {"name": "visitas",
     "fields": [
       {"name": "codigovisita", "type": 4, "required": true, "attributes": 17},
       {"name": "codigocliente", "type": 4},
       {"name": "fecha", "type": 8},
       {"name": "motivo", "type": 10, "size": 100, "allowZeroLength": true},
       {"name": "importe", "type": 7},
       {"name": "atendida", "type": 1},
       {"name": "notas", "type": 12, "allowZeroLength": true}
     ],
     "indexes": [
       {"name": "PrimaryKey", "fields": ["codigovisita"], "primary": true, "unique": true},
       {"name": "clientefecha", "fields": ["codigocliente", {"name": "fecha", "descending": true}]}
     ]}
  ],
  "relations": [
    {"name": "clientesvisitas", "table": "clientes", "foreignTable": "visitas", "attributes": 0,
     "fields": [{"name": "codigocliente", "foreignName": "codigocliente"}]}
  ],
  "queries": [
    {"name": "clientesactivos",
     "sql": "SELECT codigocliente, nombre, apellidos, poblacion FROM clientes WHERE activo = True ORDER BY apellidos, nombre"},
    {"name": "visitaspendientes",
     "sql": "SELECT clientes.nombre, clientes.apellidos, visitas.fecha, visitas.motivo\r\nFROM clientes INNER JOIN visitas ON clientes.codigocliente = visitas.codigocliente\r\nWHERE visitas.atendida = False"}
  ]
})json";

const char* const kModelAlmacen = R"json({
  "tables": [
    {"name": "proveedores",
     "fields": [
       {"name": "codigoproveedor", "type": 4, "required": true},
       {"name": "nombre", "type": 10, "size": 60, "required": true},
       {"name": "cif", "type": 10, "size": 12, "allowZeroLength": true},
       {"name": "direccion", "type": 10, "size": 120, "allowZeroLength": true},
       {"name": "poblacion", "type": 10, "size": 50, "allowZeroLength": true},
       {"name": "telefono", "type": 10, "size": 20, "allowZeroLength": true},
       {"name": "email", "type": 10, "size": 100, "allowZeroLength": true},
       {"name": "contacto", "type": 10, "size": 60, "allowZeroLength": true},
       {"name": "fechaalta", "type": 8},
       {"name": "activo", "type": 1}
     ],
     "indexes": [
       {"name": "PrimaryKey", "fields": ["codigoproveedor"], "primary": true, "unique": true},
       {"name": "cif", "fields": ["cif"], "unique": true}
     ]},
    {"name": "articulos",
     "fields": [
       {"name": "codigoarticulo", "type": 4, "required": true},
       {"name": "referencia", "type": 10, "size": 20, "required": true},
       {"name": "descripcion", "type": 10, "size": 100, "allowZeroLength": true},
       {"name": "codigoproveedor", "type": 4},
       {"name": "existencias", "type": 4},
       {"name": "stockminimo", "type": 3, "defaultValue": "0", "validationRule": ">= 0"},
       {"name": "preciocoste", "type": 7},
       {"name": "precioventa", "type": 7},
       {"name": "fechaultimacompra", "type": 8},
       {"name": "descatalogado", "type": 1},
       {"name": "observaciones", "type": 12, "allowZeroLength": true}
     ],
     "indexes": [
       {"name": "PrimaryKey", "fields": ["codigoarticulo"], "primary": true, "unique": true},
       {"name": "referencia", "fields": ["referencia"], "unique": true},
       {"name": "proveedorreferencia", "fields": ["codigoproveedor", "referencia"]}
     ]},
    {"name": "movimientos",
     "fields": [
       {"name": "codigomovimiento", "type": 4, "required": true, "attributes": 17},
       {"name": "codigoarticulo", "type": 4},
       {"name": "fecha", "type": 8},
       {"name": "cantidad", "type": 7},
       {"name": "tipo", "type": 10, "size": 1, "defaultValue": "\"E\"",
        "validationRule": "In (\"E\", \"S\")", "validationText": "Tipo E (entrada) o S (salida)"},
       {"name": "documento", "type": 10, "size": 20, "allowZeroLength": true},
       {"name": "notas", "type": 12, "allowZeroLength": true}
     ],
     "indexes": [
       {"name": "PrimaryKey", "fields": ["codigomovimiento"], "primary": true, "unique": true},
       {"name": "articulofecha", "fields": ["codigoarticulo", "fecha"]}
     ]}
  ],
  "relations": [
    {"name": "proveedoresarticulos", "table": "proveedores", "foreignTable": "articulos",
     "attributes": 0,
     "fields": [{"name": "codigoproveedor", "foreignName": "codigoproveedor"}]},
    {"name": "articulosmovimientos", "table": "articulos", "foreignTable": "movimientos",
     "attributes": 2,
     "fields": [{"name": "codigoarticulo", "foreignName": "codigoarticulo"}]}
  ],
  "queries": [
    {"name": "articulosbajominimo",
     "sql": "SELECT referencia, descripcion, existencias, stockminimo FROM articulos WHERE existencias < stockminimo"},
    {"name": "articulosporproveedor",
     "sql": "SELECT proveedores.nombre, articulos.referencia, articulos.descripcion FROM proveedores INNER JOIN articulos ON proveedores.codigoproveedor = articulos.codigoproveedor ORDER BY proveedores.nombre"}
  ]
})json";

const char* const kModelProductos = R"json({
  "tables": [
    {"name": "productos",
     "fields": [
       {"name": "codproducto", "type": 4, "required": true},
       {"name": "nombre", "type": 10, "size": 80, "required": true},
       {"name": "registro", "type": 10, "size": 30, "allowZeroLength": true},
       {"name": "materiaactiva", "type": 10, "size": 80, "allowZeroLength": true},
       {"name": "toxicidad", "type": 10, "size": 20, "allowZeroLength": true},
       {"name": "plazoseguridad", "type": 3},
       {"name": "dosis", "type": 7},
       {"name": "precio", "type": 7},
       {"name": "fecharegistro", "type": 8},
       {"name": "autorizado", "type": 1},
       {"name": "indicaciones", "type": 12, "allowZeroLength": true}
     ],
     "indexes": [
       {"name": "PrimaryKey", "fields": ["codproducto"], "primary": true, "unique": true},
       {"name": "registro", "fields": ["registro"], "unique": true, "ignoreNulls": true},
       {"name": "nombre", "fields": ["nombre"]}
     ]},
    {"name": "tratamientos",
     "fields": [
       {"name": "codtratamiento", "type": 4, "required": true, "attributes": 17},
       {"name": "codproducto", "type": 4},
       {"name": "cultivo", "type": 10, "size": 50, "allowZeroLength": true},
       {"name": "plaga", "type": 10, "size": 80, "allowZeroLength": true},
       {"name": "dosisha", "type": 7},
       {"name": "fecha", "type": 8},
       {"name": "observaciones", "type": 12, "allowZeroLength": true}
     ],
     "indexes": [
       {"name": "PrimaryKey", "fields": ["codtratamiento"], "primary": true, "unique": true},
       {"name": "productocultivo", "fields": ["codproducto", "cultivo"]}
     ]}
  ],
  "relations": [
    {"name": "productostratamientos", "table": "productos", "foreignTable": "tratamientos",
     "attributes": 256,
     "fields": [{"name": "codproducto", "foreignName": "codproducto"}]}
  ],
  "queries": [
    {"name": "productosautorizados",
     "sql": "SELECT codproducto, nombre, materiaactiva, plazoseguridad FROM productos WHERE autorizado = True ORDER BY nombre"}
  ]
})json";

const char* const kModelPedidos = R"json({
  "tables": [
    {"name": "pedidos",
     "validationRule": "[fechaentrega] Is Null Or [fechaentrega] >= [fecha]",
     "validationText": "La entrega no puede ser anterior al pedido",
     "fields": [
       {"name": "codigopedido", "type": 4, "required": true, "attributes": 17},
       {"name": "codigocliente", "type": 4},
       {"name": "fecha", "type": 8},
       {"name": "fechaentrega", "type": 8},
       {"name": "formapago", "type": 10, "size": 30, "allowZeroLength": true},
       {"name": "total", "type": 7},
       {"name": "servido", "type": 1},
       {"name": "observaciones", "type": 12, "allowZeroLength": true}
     ],
     "indexes": [
       {"name": "PrimaryKey", "fields": ["codigopedido"], "primary": true, "unique": true},
       {"name": "clientefecha", "fields": ["codigocliente", "fecha"]}
     ]},
    {"name": "lineaspedido",
     "fields": [
       {"name": "codigopedido", "type": 4, "required": true},
       {"name": "linea", "type": 3, "required": true},
       {"name": "codigoarticulo", "type": 4},
       {"name": "cantidad", "type": 7},
       {"name": "precio", "type": 7},
       {"name": "descuento", "type": 3}
     ],
     "indexes": [
       {"name": "PrimaryKey", "fields": ["codigopedido", "linea"], "primary": true, "unique": true}
     ]}
  ],
  "relations": [
    {"name": "pedidoslineas", "table": "pedidos", "foreignTable": "lineaspedido",
     "attributes": 4096,
     "fields": [{"name": "codigopedido", "foreignName": "codigopedido"}]}
  ],
  "queries": [
    {"name": "pedidospendientes",
     "sql": "SELECT codigopedido, codigocliente, fecha, total FROM pedidos WHERE servido = False ORDER BY fecha"}
  ]
})json";

// ---- The installed, older databases, with their data ----

const char* const kOldClientes = R"json({
  "tables": [
    {"name": "clientes",
     "fields": [
       {"name": "codigocliente", "type": 4, "required": true},
       {"name": "nombre", "type": 10, "size": 50, "required": true},
       {"name": "apellidos", "type": 10, "size": 80, "allowZeroLength": true},
       {"name": "nif", "type": 10, "size": 12, "allowZeroLength": true},
       {"name": "direccion", "type": 10, "size": 120, "allowZeroLength": true},
       {"name": "poblacion", "type": 10, "size": 50, "allowZeroLength": true},
       {"name": "provincia", "type": 10, "size": 40, "allowZeroLength": true},
       {"name": "codigopostal", "type": 10, "size": 5, "allowZeroLength": true},
       {"name": "telefono", "type": 10, "size": 20, "allowZeroLength": true},
       {"name": "fechaalta", "type": 8},
       {"name": "activo", "type": 1},
       {"name": "saldo", "type": 7}
     ],
     "indexes": [
       {"name": "PrimaryKey", "fields": ["codigocliente"], "primary": true, "unique": true},
       {"name": "nombre", "fields": ["nombre"]}
     ],
     "rows": [
       [1, "María", "García López", "12345678Z", "C/ Mayor 12", "Alcalá de Henares", "Madrid", "28801", "918 881 234", "1998-03-15", true, 1250.5],
       [2, "José Luis", "Fernández Ruiz", "23456789D", "Avda. de la Constitución 4", "Sevilla", "Sevilla", "41001", "954 221 100", "1999-06-01", true, 0],
       [3, "Carmen", "Martínez Sánchez", "34567890V", "Plaza de España 1, 3º B", "Zaragoza", "Zaragoza", "50001", "976 123 456", "2000-01-20", false, -75.25],
       [4, "Antonio", "Pérez Gómez", "45678901G", "C/ del Carmen 27", "Valencia", "Valencia", "46001", "963 555 010", "2001-11-05", true, 310],
       [5, "Lucía", "Núñez Ibáñez", null, "Camino Viejo s/n", "Logroño", "La Rioja", "26001", "", "2002-02-28", true, null]
     ]}
  ],
  "queries": [
    {"name": "clientesactivos",
     "sql": "SELECT codigocliente, nombre, apellidos FROM clientes WHERE activo = True"}
  ]
})json";

const char* const kOldAlmacen = R"json({
  "tables": [
    {"name": "proveedores",
     "fields": [
       {"name": "codigoproveedor", "type": 4, "required": true},
       {"name": "nombre", "type": 10, "size": 60, "required": true},
       {"name": "cif", "type": 10, "size": 12, "allowZeroLength": true},
       {"name": "direccion", "type": 10, "size": 120, "allowZeroLength": true},
       {"name": "poblacion", "type": 10, "size": 50, "allowZeroLength": true},
       {"name": "telefono", "type": 10, "size": 20, "allowZeroLength": true},
       {"name": "fechaalta", "type": 8},
       {"name": "activo", "type": 1}
     ],
     "indexes": [
       {"name": "PrimaryKey", "fields": ["codigoproveedor"], "primary": true, "unique": true}
     ],
     "rows": [
       [1, "Agroquímicos del Ebro, S.A.", "A50123456", "Pol. Ind. Malpica, nave 7", "Zaragoza", "976 470 000", "1997-09-01", true],
       [2, "Semillas Hermanos Ortega", "B26012345", "C/ Huesca 3", "Logroño", "941 200 300", "1998-02-12", true],
       [3, "Riegos Levante, S.L.", "B46987654", "Ctra. de Ademuz km 4", "Paterna", "961 320 540", "2000-05-30", false]
     ]},
    {"name": "articulos",
     "fields": [
       {"name": "codigoarticulo", "type": 4, "required": true},
       {"name": "referencia", "type": 10, "size": 20, "required": true},
       {"name": "descripcion", "type": 10, "size": 100, "allowZeroLength": true},
       {"name": "codigoproveedor", "type": 4},
       {"name": "existencias", "type": 4},
       {"name": "preciocoste", "type": 7},
       {"name": "precioventa", "type": 7},
       {"name": "descatalogado", "type": 1}
     ],
     "indexes": [
       {"name": "PrimaryKey", "fields": ["codigoarticulo"], "primary": true, "unique": true},
       {"name": "referencia", "fields": ["referencia"], "unique": true}
     ],
     "rows": [
       [1, "FUN-001", "Fungicida cúprico 1 kg", 1, 40, 6.2, 9.95, false],
       [2, "INS-014", "Insecticida piretrina 250 ml", 1, 12, 11.4, 17.5, false],
       [3, "SEM-TOM", "Semilla de tomate Muchamiel, sobre", 2, 300, 0.8, 1.6, false],
       [4, "SEM-PIM", "Semilla de pimiento del Piquillo, sobre", 2, 150, 0.9, 1.8, false],
       [5, "GOT-16", "Tubería de goteo 16 mm, rollo 100 m", 3, 8, 21, 34.9, false],
       [6, "ASP-02", "Aspersor circular latón", 3, 0, 4.1, 7.25, true]
     ]}
  ],
  "relations": [
    {"name": "proveedoresarticulos", "table": "proveedores", "foreignTable": "articulos",
     "attributes": 0,
     "fields": [{"name": "codigoproveedor", "foreignName": "codigoproveedor"}]}
  ],
  "queries": [
    {"name": "articulosporproveedor",
     "sql": "SELECT proveedores.nombre, articulos.referencia FROM proveedores INNER JOIN articulos ON proveedores.codigoproveedor = articulos.codigoproveedor"}
  ]
})json";

const char* const kOldProductos = R"json({
  "tables": [
    {"name": "productos",
     "fields": [
       {"name": "codproducto", "type": 4, "required": true},
       {"name": "nombre", "type": 10, "size": 80, "required": true},
       {"name": "registro", "type": 10, "size": 30, "allowZeroLength": true},
       {"name": "materiaactiva", "type": 10, "size": 80, "allowZeroLength": true},
       {"name": "toxicidad", "type": 10, "size": 20, "allowZeroLength": true},
       {"name": "precio", "type": 7},
       {"name": "autorizado", "type": 1}
     ],
     "indexes": [
       {"name": "PrimaryKey", "fields": ["codproducto"], "primary": true, "unique": true}
     ],
     "rows": [
       [1, "Cobre Nordox 75", "ES-00123", "óxido cuproso 75%", "Xn", 18.4, true],
       [2, "Azufre mojable 80", "ES-00456", "azufre 80%", "", 6.75, true],
       [3, "Piretrina natural", "ES-01789", "piretrinas 4%", "Xi", 24.9, true],
       [4, "Clorpirifos 48", "ES-00999", "clorpirifos 48%", "T", 15, false]
     ]}
  ]
})json";

const char* const kOldContabilidad = R"json({
  "tables": [
    {"name": "asientos",
     "fields": [
       {"name": "numero", "type": 4, "required": true},
       {"name": "fecha", "type": 8},
       {"name": "concepto", "type": 10, "size": 100, "allowZeroLength": true},
       {"name": "debe", "type": 7},
       {"name": "haber", "type": 7}
     ],
     "indexes": [
       {"name": "PrimaryKey", "fields": ["numero"], "primary": true, "unique": true}
     ],
     "rows": [
       [1, "2002-01-02", "Apertura del ejercicio", 15000, 0],
       [2, "2002-01-15", "Compra a Agroquímicos del Ebro", 0, 496.0],
       [3, "2002-01-31", "Ventas de enero", 1830.45, 0]
     ]}
  ]
})json";

const char* const kNeptuno = R"json({
  "tables": [
    {"name": "Empleados",
     "fields": [
       {"name": "IdEmpleado", "type": 4, "required": true},
       {"name": "Apellidos", "type": 10, "size": 20, "required": true},
       {"name": "Nombre", "type": 10, "size": 10, "required": true},
       {"name": "Cargo", "type": 10, "size": 30, "allowZeroLength": true},
       {"name": "Tratamiento", "type": 10, "size": 25, "allowZeroLength": true},
       {"name": "FechaNacimiento", "type": 8},
       {"name": "FechaContratacion", "type": 8},
       {"name": "Direccion", "type": 10, "size": 60, "allowZeroLength": true},
       {"name": "Ciudad", "type": 10, "size": 15, "allowZeroLength": true},
       {"name": "CodPostal", "type": 10, "size": 10, "allowZeroLength": true},
       {"name": "Pais", "type": 10, "size": 15, "allowZeroLength": true},
       {"name": "Extension", "type": 10, "size": 4, "allowZeroLength": true},
       {"name": "Notas", "type": 12, "allowZeroLength": true},
       {"name": "Jefe", "type": 4}
     ],
     "indexes": [
       {"name": "PrimaryKey", "fields": ["IdEmpleado"], "primary": true, "unique": true},
       {"name": "Apellidos", "fields": ["Apellidos"]}
     ],
     "rows": [
       [1, "Delgado", "Nuria", "Representante de ventas", "Srta.", "1968-12-08", "1992-05-01", "C/ Sierpes 20", "Sevilla", "41004", "España", "5467", "Licenciada en Psicología.", 2],
       [2, "Fuentes", "Andrés", "Vicepresidente comercial", "Dr.", "1952-02-19", "1992-08-14", "Gran Vía 908", "Madrid", "28013", "España", "3457", "Se incorporó como representante.", null],
       [3, "Llorente", "Juana", "Representante de ventas", "Srta.", "1963-08-30", "1992-04-01", "C/ Colón 722", "Valencia", "46004", "España", "3355", "", 2],
       [4, "Peña", "Margarita", "Coordinadora de ventas", "Sra.", "1958-01-09", "1994-11-15", "Paseo de Gracia 4726", "Barcelona", "08007", "España", "2344", null, 2]
     ]}
  ]
})json";

}  // namespace

std::vector<DemoDatabase> DemoModels() {
    return {{"almacen.mdb", json::parse(kModelAlmacen)},
            {"clientes.mdb", json::parse(kModelClientes)},
            {"pedidos.mdb", json::parse(kModelPedidos)},
            {"productos.mdb", json::parse(kModelProductos)}};
}

std::vector<DemoDatabase> DemoOldDatabases() {
    return {{"almacen.mdb", json::parse(kOldAlmacen)},
            {"clientes.mdb", json::parse(kOldClientes)},
            {"contabilidad.mdb", json::parse(kOldContabilidad)},
            {"productos.mdb", json::parse(kOldProductos)}};
}

DemoDatabase DemoNeptuno() {
    return {"Neptuno.mdb", json::parse(kNeptuno)};
}

}  // namespace actualiz::cli
