#include "exchange/FilePieces.h"

namespace pb::exchange::detail {

qsizetype LineCap::cut(char* data, qsizetype from, qsizetype to)
{
    char* w = data + from;
    const char* r = data + from;
    const char* const end = data + to;
    while (r < end) {
        const auto* nl = static_cast<const char*>(std::memchr(r, '\n', static_cast<std::size_t>(end - r)));
        const char* const stop = nl ? nl : end;
        const qsizetype run = stop - r;
        if (dropping_) {
            dropped_ += run;
        } else {
            const qsizetype keep = std::min(run, kLongest - length_);
            if (w != r)
                std::memmove(w, r, static_cast<std::size_t>(keep));
            w += keep;
            length_ += keep;
            if (keep < run) {
                dropping_ = true;
                dropped_ = run - keep;
            }
        }
        r = stop;
        if (nl) {
            finishLine();
            *w++ = *r++;   // the line break stays
        }
    }
    return w - data;
}

std::vector<LineCut> LineCap::cuts()
{
    finishLine();
    return cuts_;
}

void LineCap::finishLine()
{
    if (dropping_)
        cuts_.push_back({line_, dropped_});
    dropping_ = false;
    length_ = 0;
    ++line_;
}

// What the report says of the lines cut.
void reportCuts(const std::vector<LineCut>& cuts, ReadReport* report)
{
    if (!report)
        return;
    for (const LineCut& c : cuts)
        report->skipped << QStringLiteral("Line %1 is longer than any value a record can hold: its first %2 MiB was read, "
                                          "the %3 bytes after them were left out.")
                               .arg(c.line)
                               .arg(LineCap::kLongest >> 20)
                               .arg(c.dropped);
}

} // namespace pb::exchange::detail
