#include "engine/EngineError.h"

#include <string>

namespace actualiz::engine {

namespace {

std::string Quoted(std::string_view object) {
    std::string out;
    out.reserve(object.size() + 2);
    out.append(1, '\'').append(object).append(1, '\'');
    return out;
}

// The engine's texts by number. In a text, {o} stands for the object in single quotes and {t} for
// the object as given; a part in [brackets] is there only when an object is given.
struct Message {
    int number;
    const char* text;
};

constexpr Message kMessages[] = {
    {err::kInvalidCall, "Llamada a procedimiento o argumento no válido[ ({t})]."},
    {err::kOverflow, "Desbordamiento[ ({t})]."},
    {err::kOutOfMemory, "Memoria insuficiente[ ({t})]."},
    {err::kReserved, "Error reservado del motor de base de datos ({t})."},
    {err::kInvalidArgument, "Argumento no válido[ ({t})]."},
    {err::kTableExists, "La tabla {o} ya existe."},
    {err::kObjectExists, "El objeto {o} ya existe."},
    {err::kUpdateWithoutEdit, "Update o CancelUpdate sin AddNew o Edit."},
    {err::kNoCurrentRecord, "No hay un registro activo."},
    {err::kDuplicateInIndex,
     "Los cambios pedidos en la tabla {o} no se hicieron porque crearían valores duplicados en un "
     "índice, clave principal o relación."},
    {err::kFileNotFound, "No se encontró el archivo {o}."},
    {err::kReadOnly,
     "No se puede actualizar {o}: la base de datos o el objeto es de sólo lectura."},
    {err::kDiskIo, "Error de disco o de red al usar {o}."},
    {err::kInvalidPath,
     "{o} no es una ruta válida. Compruebe que el nombre de la ruta está bien escrito y que está "
     "conectado al servidor donde reside el archivo."},
    {err::kDatabaseDamaged,
     "No se puede usar la base de datos {o}: el archivo está dañado (no supera la comprobación de "
     "integridad)."},
    {err::kFileInUse, "No se pudo usar {o}; el archivo ya está en uso."},
    {err::kCannotOpenFile, "No se pudo abrir {o}: es una carpeta o no hay permiso para leerlo."},
    {err::kNullInIndex,
     "Un índice o clave principal de la tabla {o} no puede contener un valor Null."},
    {err::kTooFewParameters, "Pocos parámetros: el nombre {o} no es un campo de la consulta."},
    {err::kInputTableNotFound,
     "El motor de base de datos no encuentra la tabla o consulta de entrada {o}."},
    {err::kAggregateMisused, "No puede haber una función de agregado en la cláusula WHERE ({t})."},
    {err::kUndefinedFunction, "Función no definida {o} en la expresión."},
    {err::kInvalidName,
     "{o} no es un nombre válido. Compruebe que no contiene caracteres o puntuación no válidos y "
     "que no es demasiado largo."},
    {err::kInvalidSql,
     "Instrucción SQL no válida; se esperaba 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT' o "
     "'UPDATE'."},
    {err::kSyntaxError, "Error de sintaxis en la instrucción SQL[ ({t})]."},
    {err::kCharactersAfterEnd,
     "Se encontraron caracteres después del final de la instrucción SQL."},
    {err::kFieldTooSmall,
     "El campo {o} es demasiado pequeño para aceptar la cantidad de datos que intentó agregar."},
    {err::kRecordDeleted, "El registro está eliminado."},
    {err::kFieldDefinedTwice, "No se puede definir el campo {o} más de una vez."},
    {err::kRelatedRecordsExist,
     "No se puede eliminar ni cambiar el registro porque la tabla {o} tiene registros "
     "relacionados."},
    {err::kRelatedRecordRequired,
     "No se puede agregar ni cambiar el registro porque se necesita un registro relacionado en la "
     "tabla {o}."},
    {err::kDatabaseExists, "La base de datos {o} ya existe."},
    {err::kTableInUse, "No se pudo bloquear {o}: otra persona u otro proceso la está usando."},
    {err::kInvalidOperation, "Operación no válida[ ({t})]."},
    {err::kInvalidType, "Tipo de datos de campo no válido[ para {o}]."},
    {err::kNoFields, "No hay ningún campo definido en {o}; no se puede agregar."},
    {err::kItemNotFound, "No se encontró {o} en esta colección."},
    {err::kFieldInIndex,
     "No se puede eliminar el campo {o} porque forma parte de uno o más índices."},
    {err::kPrimaryKeyExists, "La tabla {o} ya tiene una clave principal."},
    {err::kIndexExists, "El índice {o} ya existe."},
    {err::kInRelationship,
     "No se puede eliminar ni cambiar {o} porque forma parte de una o más relaciones."},
    {err::kFieldRequired,
     "El campo {o} no puede contener un valor Null porque su propiedad Required está establecida "
     "como True."},
    {err::kZeroLength, "El campo {o} no puede ser una cadena de longitud cero."},
    {err::kValidationRule,
     "Uno o más valores no son admitidos por la regla de validación establecida para {o}. Escriba "
     "un valor que la regla acepte."},
    {err::kUnrecognizedFormat, "Formato de base de datos no reconocido: {o}."},
    {err::kNoRelationFields,
     "No se puede agregar la relación {o} porque no tiene campos definidos."},
    {err::kRelationTypeMismatch,
     "La relación {o} debe unir el mismo número de campos con los mismos tipos de datos."},
    {err::kObjectClosed, "El objeto no es válido o ya no está definido."},
    {err::kConversion, "Error de conversión de tipo de datos[ en el campo {o}]."},
    {err::kValueTypeMismatch,
     "No coinciden los tipos de datos en la expresión de criterios[ (el valor del parámetro "
     "{o})]."},
};

// The text with the object put in its places.
std::string Expand(std::string_view text, std::string_view object) {
    std::string out;
    bool skipping = false;  // inside a [part] while no object is given
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '[') {
            skipping = object.empty();
        } else if (c == ']') {
            skipping = false;
        } else if (skipping) {
            continue;
        } else if (c == '{' && i + 2 < text.size() && text[i + 2] == '}') {
            out += text[i + 1] == 'o' ? Quoted(object) : std::string(object);
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::string Text(int number, std::string_view object) {
    for (const Message& m : kMessages)
        if (m.number == number) return Expand(m.text, object);
    return "Error " + std::to_string(number) + " del motor de base de datos (" +
           std::string(object) + ").";
}

}  // namespace

EngineError MakeError(int number, std::string_view object) {
    return EngineError(number, Text(number, object));
}

}  // namespace actualiz::engine
