#include "app/ErrorModes.h"

namespace actualiz::app {

Error GenericError(const std::exception& e) {
    return Error(kErrInternal, std::string("Error interno: ") + e.what());
}

Error ObjectNotSet() {
    return Error(kErrObjectNotSet, "Variable de objeto o de bloque With no establecida");
}

void SkipOnError::Record(const Error& e, const std::string* database) {
    ++failures_;
    form_.Skipped().push_back(
        {command_, database ? *database : form_.Text4.Text(), e.number(), e.description()});
}

}  // namespace actualiz::app
