#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// Shared by the fuzz targets: a process set up like a test (HOME and the XDG folders in a fresh
// temporary folder, a Qt application object, no system-log echo), and small helpers.
namespace FuzzSupport {

// Call once from LLVMFuzzerInitialize.
void initialize(int *argc, char ***argv);

// A folder of this process's own for files a target must write.
QString scratchFolder();

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
}

// Splits an input at its first NUL: the part before and the part after.
void split(const QByteArray &input, QByteArray *first, QByteArray *second);

} // namespace FuzzSupport
