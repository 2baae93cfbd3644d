// The one general routine that adds a field to, or removes a field from, a table definition.

#include <memory>
#include <string>

#include "app/Actualiz.h"
#include "engine/Engine.h"

namespace actualiz::app {

// Engine errors are not handled here: they reach the caller, which stops at that field.
void Actualiz::AnexarEliminarCampo(engine::TableDef& tdfTemp, const std::string& strComando,
                                   const std::string& strNombre, std::int16_t TIPO,
                                   std::int16_t size) {
    if (!tdfTemp.Updatable()) {
        host().MsgBox(
            "¡TableDef no se puede actualizar! "
            "No se puede terminar la tarea.",
            MsgIcon::None, Title());
        return;
    }

    // The commands are compared exactly: "append" is no command and does nothing.
    if (strComando == "APPEND") {
        std::shared_ptr<engine::Field> fld = tdfTemp.CreateField(strNombre, TIPO, size);
        // Text and memo fields accept "", so that rows written before the field existed, and
        // forms that leave it blank, can still be saved.
        if (TIPO == engine::dbText) fld->SetAllowZeroLength(true);
        if (TIPO == engine::dbMemo) fld->SetAllowZeroLength(true);
        tdfTemp.Fields().Append(fld);
    } else if (strComando == "DELETE") {
        tdfTemp.Fields().Delete(strNombre);
    }
}

}  // namespace actualiz::app
