#include "platform/BigBuffer.h"

#include <QFile>

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace pb::memory {

void preferHugePages(const void* p, std::size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kHuge - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);   // advice only: a refusal changes nothing
#else
    (void)p;
    (void)bytes;
#endif
}

void populate(const void* p, std::size_t bytes)
{
#if defined(__linux__)
#ifndef MADV_POPULATE_WRITE
    constexpr int MADV_POPULATE_WRITE = 23;   // Linux 5.14; older kernels refuse it, which changes nothing
#endif
    if (bytes == 0)
        return;
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t first = begin & ~(page - 1);
    const std::uintptr_t last = (begin + bytes + page - 1) & ~(page - 1);
    ::madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#else
    (void)p;
    (void)bytes;
#endif
}

QByteArray uninitialized(qsizetype size)
{
    QByteArray out(size, Qt::Uninitialized);
    preferHugePages(out.constData(), static_cast<std::size_t>(size));
    populate(out.constData(), static_cast<std::size_t>(size));
    return out;
}

QByteArray readAll(QFile& file)
{
    const qint64 expected = file.size() - file.pos();
    if (expected <= 0 || file.isSequential())
        return file.readAll();
    QByteArray out = uninitialized(static_cast<qsizetype>(expected));
    qint64 got = 0;
    while (got < expected) {
        const qint64 n = file.read(out.data() + got, expected - got);
        if (n <= 0)
            break;
        got += n;
    }
    out.truncate(static_cast<qsizetype>(got));
    if (got == expected)
        out += file.readAll();   // what was added meanwhile
    return out;
}

} // namespace pb::memory
