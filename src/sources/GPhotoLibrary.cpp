#include "sources/GPhotoLibrary.h"

#include <dlfcn.h>

std::optional<GPhotoLibrary> GPhotoLibrary::load(const char *file, QString *error)
{
    auto failed = [&](const QString &reason) {
        if (error)
            *error = QStringLiteral("The camera library (%1) could not be loaded: %2")
                         .arg(QString::fromUtf8(file), reason);
        return std::nullopt;
    };
    void *handle = ::dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return failed(QString::fromLocal8Bit(::dlerror()));
    GPhotoLibrary library;
    // Looked up through the handle, so the port library's functions come from the port library
    // that libgphoto2 itself loaded.
#define BRINDLEWICK_GPHOTO_RESOLVE(name)                                                           \
    library.name = reinterpret_cast<decltype(library.name)>(::dlsym(handle, #name));               \
    if (!library.name) {                                                                           \
        ::dlclose(handle);                                                                         \
        return failed(QStringLiteral("it has no function %1").arg(QLatin1String(#name)));          \
    }
    BRINDLEWICK_GPHOTO_FUNCTIONS(BRINDLEWICK_GPHOTO_RESOLVE)
#undef BRINDLEWICK_GPHOTO_RESOLVE
    return library;
}

const GPhotoLibrary *GPhotoLibrary::system(QString *error)
{
    struct Loaded
    {
        std::optional<GPhotoLibrary> library;
        QString error;
    };
    static const Loaded loaded = [] {
        Loaded l;
        l.library = load(kFileName, &l.error);
        return l;
    }();
    if (!loaded.library && error)
        *error = loaded.error;
    return loaded.library ? &*loaded.library : nullptr;
}
