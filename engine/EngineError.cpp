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

std::string Text(int number, std::string_view object) {
    const std::string o = Quoted(object);
    switch (number) {
        case err::kReserved:
            return "Error reservado del motor de base de datos (" + std::string(object) + ").";
        case err::kInvalidArgument:
            return "Argumento no válido" +
                   (object.empty() ? std::string() : " (" + std::string(object) + ")") + ".";
        case err::kTableExists:
            return "La tabla " + o + " ya existe.";
        case err::kObjectExists:
            return "El objeto " + o + " ya existe.";
        case err::kUpdateWithoutEdit:
            return "Update o CancelUpdate sin AddNew o Edit.";
        case err::kNoCurrentRecord:
            return "No hay un registro activo.";
        case err::kDuplicateInIndex:
            return "Los cambios pedidos en la tabla " + o +
                   " no se hicieron porque crearían valores duplicados en un índice, clave "
                   "principal o relación.";
        case err::kFileNotFound:
            return "No se encontró el archivo " + o + ".";
        case err::kReadOnly:
            return "No se puede actualizar " + o +
                   ": la base de datos o el objeto es de sólo lectura.";
        case err::kDiskIo:
            return "Error de disco o de red al usar " + o + ".";
        case err::kInvalidPath:
            return o +
                   " no es una ruta válida. Compruebe que el nombre de la ruta está bien "
                   "escrito y que está conectado al servidor donde reside el archivo.";
        case err::kDatabaseDamaged:
            return "No se puede usar la base de datos " + o +
                   ": el archivo está dañado (no supera la comprobación de integridad).";
        case err::kFileInUse:
            return "No se pudo usar " + o + "; el archivo ya está en uso.";
        case err::kCannotOpenFile:
            return "No se pudo abrir " + o + ": es una carpeta o no hay permiso para leerlo.";
        case err::kNullInIndex:
            return "Un índice o clave principal de la tabla " + o +
                   " no puede contener un valor Null.";
        case err::kTooFewParameters:
            return "Pocos parámetros: el nombre " + o + " no es un campo de la consulta.";
        case err::kInputTableNotFound:
            return "El motor de base de datos no encuentra la tabla o consulta de entrada " + o +
                   ".";
        case err::kAggregateMisused:
            return "No puede haber una función de agregado en la cláusula WHERE (" +
                   std::string(object) + ").";
        case err::kUndefinedFunction:
            return "Función no definida " + o + " en la expresión.";
        case err::kInvalidName:
            return o +
                   " no es un nombre válido. Compruebe que no contiene caracteres o puntuación "
                   "no válidos y que no es demasiado largo.";
        case err::kInvalidSql:
            return "Instrucción SQL no válida; se esperaba 'DELETE', 'INSERT', 'PROCEDURE', "
                   "'SELECT' o 'UPDATE'.";
        case err::kSyntaxError:
            return "Error de sintaxis en la instrucción SQL" +
                   (object.empty() ? std::string() : " (" + std::string(object) + ")") + ".";
        case err::kCharactersAfterEnd:
            return "Se encontraron caracteres después del final de la instrucción SQL.";
        case err::kFieldTooSmall:
            return "El campo " + o +
                   " es demasiado pequeño para aceptar la cantidad de datos que "
                   "intentó agregar.";
        case err::kRecordDeleted:
            return "El registro está eliminado.";
        case err::kFieldDefinedTwice:
            return "No se puede definir el campo " + o + " más de una vez.";
        case err::kRelatedRecordsExist:
            return "No se puede eliminar ni cambiar el registro porque la tabla " + o +
                   " tiene registros relacionados.";
        case err::kRelatedRecordRequired:
            return "No se puede agregar ni cambiar el registro porque se necesita un registro "
                   "relacionado en la tabla " +
                   o + ".";
        case err::kDatabaseExists:
            return "La base de datos " + o + " ya existe.";
        case err::kTableInUse:
            return "No se pudo bloquear " + o + ": otra persona u otro proceso la está usando.";
        case err::kInvalidOperation:
            return "Operación no válida" +
                   (object.empty() ? std::string() : " (" + std::string(object) + ")") + ".";
        case err::kInvalidType:
            return "Tipo de datos de campo no válido" +
                   (object.empty() ? std::string() : " para " + o) + ".";
        case err::kNoFields:
            return "No hay ningún campo definido en " + o + "; no se puede agregar.";
        case err::kItemNotFound:
            return "No se encontró " + o + " en esta colección.";
        case err::kFieldInIndex:
            return "No se puede eliminar el campo " + o +
                   " porque forma parte de uno o más índices.";
        case err::kPrimaryKeyExists:
            return "La tabla " + o + " ya tiene una clave principal.";
        case err::kIndexExists:
            return "El índice " + o + " ya existe.";
        case err::kInRelationship:
            return "No se puede eliminar ni cambiar " + o +
                   " porque forma parte de una o más relaciones.";
        case err::kFieldRequired:
            return "El campo " + o +
                   " no puede contener un valor Null porque su propiedad "
                   "Required está establecida como True.";
        case err::kZeroLength:
            return "El campo " + o + " no puede ser una cadena de longitud cero.";
        case err::kValidationRule:
            return "Uno o más valores no son admitidos por la regla de validación establecida "
                   "para " +
                   o + ". Escriba un valor que la regla acepte.";
        case err::kUnrecognizedFormat:
            return "Formato de base de datos no reconocido: " + o + ".";
        case err::kNoRelationFields:
            return "No se puede agregar la relación " + o + " porque no tiene campos definidos.";
        case err::kRelationTypeMismatch:
            return "La relación " + o +
                   " debe unir el mismo número de campos con los mismos tipos "
                   "de datos.";
        case err::kObjectClosed:
            return "El objeto no es válido o ya no está definido.";
        case err::kConversion:
            return "Error de conversión de tipo de datos" +
                   (object.empty() ? std::string() : " en el campo " + o) + ".";
        default:
            return "Error " + std::to_string(number) + " del motor de base de datos (" +
                   std::string(object) + ").";
    }
}

}  // namespace

EngineError MakeError(int number, std::string_view object) {
    return EngineError(number, Text(number, object));
}

}  // namespace actualiz::engine
