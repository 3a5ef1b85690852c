#ifndef HALVEX_TESTS_SUPPORT_ZIP_BUILDER_H
#define HALVEX_TESTS_SUPPORT_ZIP_BUILDER_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

// Builds zip archives byte by byte, so tests can choose what real tools never
// write: names, attributes, times, extra fields and damaged records.

// 2024-01-15 10:30:00 in the DOS date (high half) and time (low half).
uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second);
const uint32_t DEFAULT_DOS_TIME = 0x582F53C0;

// Fills length bytes of a generated entry starting at offset.
typedef void (*EntryGenerator)(uint64_t offset, char *buffer, size_t length);

struct ZipEntryPlan {
    std::string name;
    std::string data;
    // 0 stored, 8 deflated; any other value is written as it is, with the
    // data stored.
    uint16_t method = 8;
    uint32_t externalAttributes = 0x20;
    uint32_t dosDateTime = DEFAULT_DOS_TIME;
    std::string localExtra;
    std::string centralExtra;
    // Instead of data: generatedSize bytes made in chunks by generate.
    EntryGenerator generate = nullptr;
    uint32_t generatedSize = 0;
};

// Where each entry's parts ended up, for tests that damage them.
struct ZipLayout {
    std::vector<size_t> localHeader;
    std::vector<size_t> dataOffset;
    std::vector<size_t> dataSize;
    size_t centralDirectory = 0;
};

std::string BuildZip(const std::vector<ZipEntryPlan> &entries, ZipLayout *layout = nullptr);

// One extra field: id, little-endian size, data. declaredSize < 0 writes the
// data's real size.
std::string ExtraField(uint16_t id, const std::string &data, int declaredSize = -1);
// An "UT" extended timestamp with the flags and the stamps given (fewer than
// the flags announce makes a short field).
std::string UtField(uint8_t flags, const std::vector<uint32_t> &stamps, int declaredSize = -1);

#endif
