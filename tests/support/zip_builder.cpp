#include "support/zip_builder.h"

#include <algorithm>

#include <zlib.h>

static void Put16(std::string &out, uint32_t value)
{
    out.push_back((char)(value & 0xFF));
    out.push_back((char)((value >> 8) & 0xFF));
}

static void Put32(std::string &out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second)
{
    uint32_t date = (uint32_t)((year - 1980) << 9 | month << 5 | day);
    uint32_t time = (uint32_t)(hour << 11 | minute << 5 | second / 2);
    return date << 16 | time;
}

std::string ExtraField(uint16_t id, const std::string &data, int declaredSize)
{
    std::string out;
    Put16(out, id);
    Put16(out, declaredSize < 0 ? (uint32_t)data.size() : (uint32_t)declaredSize);
    return out + data;
}

std::string UtField(uint8_t flags, const std::vector<uint32_t> &stamps, int declaredSize)
{
    std::string data(1, (char)flags);
    for (uint32_t stamp : stamps)
        Put32(data, stamp);
    return ExtraField(0x5455, data, declaredSize);
}

// Packs an entry's data, deflated or stored, and its CRC and size.
static std::string PackData(const ZipEntryPlan &entry, uint32_t *crc, uint32_t *size)
{
    std::string packed;
    std::vector<char> chunk(65536);
    std::vector<char> out(65536);
    uint64_t total = entry.generate ? entry.generatedSize : entry.data.size();
    bool deflated = entry.method == 8;
    z_stream stream = {};
    if (deflated)
        deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    uLong sum = crc32(0, nullptr, 0);
    uint64_t done = 0;
    do {
        size_t take = (size_t)std::min<uint64_t>(chunk.size(), total - done);
        const char *bytes;
        if (entry.generate) {
            entry.generate(done, chunk.data(), take);
            bytes = chunk.data();
        } else {
            bytes = entry.data.data() + done;
        }
        sum = crc32(sum, (const Bytef *)bytes, (uInt)take);
        done += take;
        if (!deflated) {
            packed.append(bytes, take);
            continue;
        }
        stream.next_in = (Bytef *)bytes;
        stream.avail_in = (uInt)take;
        int flush = done == total ? Z_FINISH : Z_NO_FLUSH;
        int status;
        do {
            stream.next_out = (Bytef *)out.data();
            stream.avail_out = (uInt)out.size();
            status = deflate(&stream, flush);
            packed.append(out.data(), out.size() - stream.avail_out);
        } while (stream.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
    } while (done < total);
    if (deflated)
        deflateEnd(&stream);
    *crc = (uint32_t)sum;
    *size = (uint32_t)total;
    return packed;
}

// From "version needed" to the extra field's length, the local header and
// the central record hold the same fields.
static void PutSharedFields(std::string &out, const ZipEntryPlan &entry, uint32_t crc, uint32_t packedSize,
                            uint32_t size, const std::string &extra)
{
    Put16(out, 20);
    Put16(out, 0);
    Put16(out, entry.method);
    Put32(out, entry.dosDateTime);
    Put32(out, crc);
    Put32(out, packedSize);
    Put32(out, size);
    Put16(out, (uint32_t)entry.name.size());
    Put16(out, (uint32_t)extra.size());
}

std::string BuildZip(const std::vector<ZipEntryPlan> &entries, ZipLayout *layout)
{
    std::string archive;
    std::string central;
    ZipLayout where;
    for (const ZipEntryPlan &entry : entries) {
        uint32_t crc = 0, size = 0;
        std::string packed = PackData(entry, &crc, &size);
        uint32_t offset = (uint32_t)archive.size();
        where.localHeader.push_back(offset);

        std::string header;
        Put32(header, 0x04034B50);
        PutSharedFields(header, entry, crc, (uint32_t)packed.size(), size, entry.localExtra);
        archive += header + entry.name + entry.localExtra;
        where.dataOffset.push_back(archive.size());
        where.dataSize.push_back(packed.size());
        archive += packed;

        Put32(central, 0x02014B50);
        Put16(central, 20);
        PutSharedFields(central, entry, crc, (uint32_t)packed.size(), size, entry.centralExtra);
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, entry.externalAttributes);
        Put32(central, offset);
        central += entry.name + entry.centralExtra;
    }
    where.centralDirectory = archive.size();
    std::string end;
    Put32(end, 0x06054B50);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, (uint32_t)entries.size());
    Put16(end, (uint32_t)entries.size());
    Put32(end, (uint32_t)central.size());
    Put32(end, (uint32_t)where.centralDirectory);
    Put16(end, 0);
    archive += central + end;
    if (layout)
        *layout = where;
    return archive;
}
