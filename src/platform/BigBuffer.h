#pragma once

// Large buffers that a command fills at once (a whole book, a whole file of
// contacts). Touching fresh memory costs a page fault every 4 KiB; where
// the kernel offers transparent huge pages for memory that asks for them,
// these buffers ask, and a fault then brings in 2 MiB.

#include <QByteArray>

class QFile;

#include <cstddef>

namespace pb::memory {

// Asks for huge pages behind the whole 2 MiB blocks of [p, p + bytes).
// Nothing happens where the system has none.
void preferHugePages(const void* p, std::size_t bytes);

// Makes [p, p + bytes) resident and writable in one go, for memory about to
// be written: one call instead of a page fault every 4 KiB, which under a
// virtual machine can cost more than writing the page. Advice only.
void populate(const void* p, std::size_t bytes);

// `size` bytes, not yet written (but resident: see populate()).
QByteArray uninitialized(qsizetype size);

// The rest of an open file, as QIODevice::readAll() reads it (the file's
// error() tells of a failure), into such a buffer.
QByteArray readAll(QFile& file);

} // namespace pb::memory
