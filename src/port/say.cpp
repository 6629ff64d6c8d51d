#include "say.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// The sink of the board this thread runs; each board's thread binds its own.
thread_local const TextSink *t_pSink = NULL;

enum { TEXT_ROOM = 1024 };

void SayTo(int fError, const char *pchText, size_t cchText) {
    if (t_pSink != NULL) {
        t_pSink->pfnText(t_pSink->pContext, fError, pchText, cchText);
        return;
    }
    FILE *pStream = fError ? stderr : stdout;
    fwrite(pchText, 1, cchText, pStream);
    fflush(pStream);
}

void SayFormatted(int fError, const char *pszFormat, va_list args) {
    char szText[TEXT_ROOM];
    int cch = vsnprintf(szText, sizeof szText, pszFormat, args);
    if (cch < 0) return;
    size_t cchText = (size_t)cch < sizeof szText ? (size_t)cch : sizeof szText - 1;
    SayTo(fError, szText, cchText);
}

}  // namespace

void BindTextSink(const TextSink *pSink) {
    t_pSink = pSink;
}

int IsTextBound(void) {
    return t_pSink != NULL;
}

const TextSink *GetTextSink(void) {
    return t_pSink;
}

void SayOut(const char *pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    SayFormatted(0, pszFormat, args);
    va_end(args);
}

void SayErr(const char *pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    SayFormatted(1, pszFormat, args);
    va_end(args);
}

void SayOutText(const char *pszText) {
    SayTo(0, pszText, strlen(pszText));
}
