#include "trace.h"

#include <cstdarg>

namespace hc11 {

void Trace::line(uint64_t cycle, const char *format, ...) {
    if (!out_) return;
    std::fprintf(out_, "%12llu  ", static_cast<unsigned long long>(cycle));
    va_list args;
    va_start(args, format);
    std::vfprintf(out_, format, args);
    va_end(args);
    std::fputc('\n', out_);
}

}  // namespace hc11
