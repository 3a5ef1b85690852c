#ifndef HALVEX_RES_TEXT_H
#define HALVEX_RES_TEXT_H

#include <stddef.h>

// Bounded text into fixed buffers. Each returns 1 when the whole result fit
// and 0 when it did not; the buffer is always NUL-terminated (when its
// capacity is non-zero). On 0 the buffer holds as much as fit, so callers that
// must not use a cut path test the result.
int CopyText(char *dest, size_t capacity, const char *src);
int AppendText(char *dest, size_t capacity, const char *src);
int FormatText(char *dest, size_t capacity, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

// Appends several texts; on failure restores the buffer to what it held
// before, so a path is never left half-built.
int AppendTexts(char *dest, size_t capacity, const char *const *parts, size_t count);

#endif
