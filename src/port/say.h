// Where a run's text goes. A run on its own prints to standard output and standard error as
// they are; a board among several prints through its board's sink (lines with the port before
// them, the live table, or JSON events), which the thread running that board binds. Every
// message of a board's run goes through here, so that two boards' text never mixes in a line.
#pragma once

#include <cstddef>

#if defined(__GNUC__)
#define SAY_FORMAT(nFormat) __attribute__((format(printf, nFormat, nFormat + 1)))
#else
#define SAY_FORMAT(nFormat)
#endif

// A board's text as it is printed, in pieces that need not end lines; fError for what a run
// alone prints on standard error.
struct TextSink {
    void (*pfnText)(void *pContext, int fError, const char *pchText, size_t cchText);
    void *pContext;
};

// The calling thread's sink from now on; NULL for the standard streams.
void BindTextSink(const TextSink *pSink);

// Whether the calling thread prints through a sink (a board among several).
int IsTextBound(void);

// The calling thread's sink, NULL for the standard streams: for a sink that passes text on.
const TextSink *GetTextSink(void);

// printf into the run's standard output or standard error. A text longer than 1 KB is cut.
void SayOut(const char *pszFormat, ...) SAY_FORMAT(1);
void SayErr(const char *pszFormat, ...) SAY_FORMAT(1);

// The same for a text taken as it is.
void SayOutText(const char *pszText);
