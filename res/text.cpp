#include "res/text.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

int CopyText(char *dest, size_t capacity, const char *src)
{
    if (capacity == 0)
        return 0;
    dest[0] = '\0';
    return AppendText(dest, capacity, src);
}

int AppendText(char *dest, size_t capacity, const char *src)
{
    if (capacity == 0)
        return 0;
    size_t used = strnlen(dest, capacity);
    if (used >= capacity) {
        // Not terminated within its capacity: never read past it.
        dest[capacity - 1] = '\0';
        return 0;
    }
    size_t length = src ? strlen(src) : 0;
    size_t room = capacity - 1 - used;
    size_t take = length < room ? length : room;
    memcpy(dest + used, src, take);
    dest[used + take] = '\0';
    return take == length;
}

int FormatText(char *dest, size_t capacity, const char *format, ...)
{
    if (capacity == 0)
        return 0;
    va_list args;
    va_start(args, format);
    int written = vsnprintf(dest, capacity, format, args);
    va_end(args);
    dest[capacity - 1] = '\0';
    return written >= 0 && (size_t)written < capacity;
}

int AppendTexts(char *dest, size_t capacity, const char *const *parts, size_t count)
{
    if (capacity == 0)
        return 0;
    size_t before = strnlen(dest, capacity);
    for (size_t i = 0; i < count; i++) {
        if (!AppendText(dest, capacity, parts[i])) {
            if (before < capacity)
                dest[before] = '\0';
            return 0;
        }
    }
    return 1;
}
