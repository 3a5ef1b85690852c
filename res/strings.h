#ifndef HALVEX_RES_STRINGS_H
#define HALVEX_RES_STRINGS_H

enum { TEXT_BUFFER_SIZE = 2048 };

// One shared buffer: a caller uses or copies the text before the next call.
// Only the single worker thread calls LoadText.
extern char textBuffer[TEXT_BUFFER_SIZE];

char *LoadText(unsigned int stringId);

#endif
