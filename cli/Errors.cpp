#include "cli/Errors.h"

#include <exception>
#include <ostream>

#include "app/ErrorModes.h"

namespace actualiz::cli {

std::string ErrorText(int number, const std::string& description) {
    return "Error " + std::to_string(number) + ": " + description;
}

std::string ErrorText(const Error& e) {
    return ErrorText(e.number(), e.description());
}

int ReportFailure(std::ostream& err) {
    try {
        throw;
    } catch (const Error& e) {
        err << ErrorText(e) << "\n";
    } catch (const std::exception& e) {
        err << ErrorText(app::GenericError(e)) << "\n";
    }
    return 1;
}

}  // namespace actualiz::cli
