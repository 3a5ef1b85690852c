#ifndef HALVEX_TRANSFER_EXTRACT_H
#define HALVEX_TRANSFER_EXTRACT_H

// Unpacks an archive into installDir (the shared control and its helper into
// windowsDir). 1 when it was unpacked; 0 when it could not be read as an
// archive or an entry was damaged.
int ExtractPayload(const char *archivePath);

#endif
