#include "catalogs/CatalogLock.h"

#include <filesystem>
#include <string>

#include "catalogs/Catalog.h"
#include "platform/Error.h"
#include "platform/ErrorNumbers.h"
#include "platform/FileSystem.h"

namespace actualiz::catalogs {

std::unique_ptr<platform::FolderLock> LockCatalogs(std::chrono::milliseconds wait) {
    std::filesystem::path host;
    try {
        host = platform::ToHostPath(kCatalogFolder);
    } catch (const Error&) {
        return nullptr;
    }
    auto lock = std::make_unique<platform::FolderLock>(host, wait);
    if (lock->Held()) return lock;
    const std::string holder = platform::FolderLock::Holder(host);
    throw Error(err::kFileInUse,
                "Otra ejecución de actualiz" + (holder.empty() ? "" : " (" + holder + ")") +
                    " está usando los catálogos de " + kCatalogFolder + " (" + host.string() +
                    "); espere a que termine y vuelva a empezar. No se ha cambiado nada.");
}

}  // namespace actualiz::catalogs
