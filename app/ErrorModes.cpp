#include "app/ErrorModes.h"

#include "engine/EngineError.h"

namespace actualiz::app {

Error GenericError(const std::exception& e) {
    return Error(err::kInternal, std::string("Error interno: ") + e.what());
}

Error FolderInUse(const std::string& dataFolder, const std::string& holder) {
    return Error(err::kFileInUse, "Otra ejecución de actualiz" +
                                      (holder.empty() ? "" : " (" + holder + ")") +
                                      " está trabajando en la carpeta de datos " + dataFolder +
                                      "; espere a que termine y vuelva a empezar. No se ha "
                                      "cambiado nada.");
}

Error ObjectNotSet() {
    return Error(err::kObjectNotSet, "Variable de objeto o de bloque With no establecida");
}

void SkipOnError::Record(const Error& e, const std::string* database) {
    ++failures_;
    std::string command = form_.TakeFailingCommand();
    if (command.empty()) command = command_;
    std::string old = database ? *database : form_.Text4.Text();
    std::string file = e.file().empty() ? old : e.file();
    form_.Skipped().push_back(
        {std::move(command), std::move(old), e.number(), e.description(), std::move(file)});
}

}  // namespace actualiz::app
