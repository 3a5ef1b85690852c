// Extraction throughput and memory: ExtractPayload against minizip's own
// miniunz (built from the same sources, run in-process) and against zlib
// inflating the same data in memory, the floor any extractor stands on.
//
// usage: bench_extract.exe WORKDIR
// Each measurement runs in a fresh child process of this program, so its
// peak memory figures are its own and not those of making the archives.

#include <windows.h>

#include <commctrl.h>
#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <zlib.h>

#include "app/layout.h"
#include "app/process_state.h"
#include "res/resource.h"
#include "support/file_tree.h"
#include "support/zip_builder.h"
#include "transfer/extract.h"

extern "C" int MiniunzMain(int argc, char *argv[]);

namespace {

const int REPEATS = 5;
const uint32_t BIG_ENTRY = 200u * 1024 * 1024;
const uint32_t MEDIUM_ENTRY = 20u * 1024 * 1024;
const int SMALL_FILES = 5000;
const int SMALL_FOLDERS = 50;

const char *const WORDS[] = {
    "mail",  "folder", "account", "profile", "message", "server",  "archive", "contact",
    "note",  "task",   "journal", "calendar", "address", "subject", "sender",  "migrate",
    "the",   "and",    "of",      "to",      "in",      "for",     "with",    "from",
    "local", "remote", "import",  "export",  "wizard",  "store",   "index",   "attachment",
};

uint32_t Next(uint32_t *seed)
{
    *seed ^= *seed << 13;
    *seed ^= *seed >> 17;
    *seed ^= *seed << 5;
    return *seed;
}

// Word salad: compresses about as well as documents and programs do.
struct TextSource {
    uint32_t seed;
    const char *word;
    int words;
};

void FillText(TextSource *source, char *buffer, size_t length)
{
    for (size_t i = 0; i < length; i++) {
        if (*source->word == '\0') {
            source->word = WORDS[Next(&source->seed) % (sizeof WORDS / sizeof WORDS[0])];
            buffer[i] = ++source->words % 12 == 0 ? '\n' : ' ';
            continue;
        }
        buffer[i] = *source->word++;
    }
}

TextSource bigSource;

void GenerateBig(uint64_t offset, char *buffer, size_t length)
{
    if (offset == 0)
        bigSource = { 2463534242u, "", 0 };
    FillText(&bigSource, buffer, length);
}

std::string Text(uint32_t seed, size_t size)
{
    TextSource source = { seed | 1, "", 0 };
    std::string text(size, '\0');
    FillText(&source, &text[0], size);
    return text;
}

double Now()
{
    static LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return (double)counter.QuadPart / (double)frequency.QuadPart;
}

bool WriteWhole(const std::string &path, const std::string &bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, nullptr) && written == bytes.size();
    CloseHandle(file);
    return ok;
}

bool ReadWhole(const std::string &path, std::string *bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD size = GetFileSize(file, nullptr);
    bytes->assign(size, '\0');
    DWORD got = 0;
    bool ok = size == 0 || (ReadFile(file, &(*bytes)[0], size, &got, nullptr) && got == size);
    CloseHandle(file);
    return ok;
}

void RemoveTree(const std::string &path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

struct TreeCount {
    unsigned files;
    unsigned long long bytes;
};

void CountFile(const std::string &, const WIN32_FIND_DATAA &found, void *context)
{
    TreeCount *count = (TreeCount *)context;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return;
    count->files++;
    count->bytes += (unsigned long long)found.nFileSizeHigh << 32 | found.nFileSizeLow;
}

// Files and bytes below path, to see that a run extracted everything.
void CountTree(const std::string &path, unsigned *files, unsigned long long *bytes)
{
    TreeCount count = { 0, 0 };
    WalkTree(path + "\\", CountFile, &count);
    *files = count.files;
    *bytes = count.bytes;
}

// ---- measurements, each in its own process ----

struct Figures {
    double seconds = 0;
    int status = -1;
    unsigned long peakWorkingSet = 0;
    unsigned long peakPagefile = 0;
};

// The dialog ExtractPayload moves, as in the installer.
HWND MakeProgressDialog()
{
    INITCOMMONCONTROLSEX controls = { sizeof controls, ICC_PROGRESS_CLASS };
    InitCommonControlsEx(&controls);
    HWND dialog = CreateWindowExA(0, "STATIC", "bench", WS_OVERLAPPEDWINDOW, 0, 0, 300, 100, nullptr, nullptr,
                                  nullptr, nullptr);
    CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 10, 10, 200, 20, dialog,
                    (HMENU)IDC_PROGRESS, nullptr, nullptr);
    return dialog;
}

void PreparePayload(const char *out)
{
    std::string folder = std::string(out) + "\\";
    snprintf(installLayout.installDir, sizeof installLayout.installDir, "%s", folder.c_str());
    snprintf(installLayout.windowsDir, sizeof installLayout.windowsDir, "%s", folder.c_str());
    processState.progressDialog = MakeProgressDialog();
}

int MeasurePayload(const char *archive)
{
    return ExtractPayload(archive) == 1 ? 0 : 1;
}

int MeasureMiniunz(const char *archive, const char *out)
{
    char *argv[] = { (char *)"miniunz", (char *)"-x", (char *)"-o", (char *)archive, (char *)"-d", (char *)out,
                     nullptr };
    return MiniunzMain(6, argv);
}

uint32_t Read32(const std::string &bytes, size_t offset)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; i--)
        value = value << 8 | (uint8_t)bytes[offset + i];
    return value;
}

// Walks the local headers of an archive held in memory and inflates (or, for
// stored entries, only checksums) every entry through a 16 KiB buffer, with
// the CRC any extractor must compute.
int InflateInMemory(const std::string &bytes, double *seconds)
{
    static Bytef out[16384];
    double start = Now();
    size_t p = 0;
    int status = 0;
    while (p + 30 <= bytes.size() && Read32(bytes, p) == 0x04034B50) {
        uint32_t method = Read32(bytes, p + 8) & 0xFFFF;
        uint32_t crc = Read32(bytes, p + 14);
        uint32_t packed = Read32(bytes, p + 18);
        uint32_t nameLength = Read32(bytes, p + 26) & 0xFFFF;
        uint32_t extraLength = Read32(bytes, p + 28) & 0xFFFF;
        const Bytef *data = (const Bytef *)bytes.data() + p + 30 + nameLength + extraLength;
        uLong sum = crc32(0, nullptr, 0);
        if (method == 8) {
            z_stream stream = {};
            inflateInit2(&stream, -MAX_WBITS);
            stream.next_in = (Bytef *)data;
            stream.avail_in = packed;
            int result;
            do {
                stream.next_out = out;
                stream.avail_out = sizeof out;
                result = inflate(&stream, Z_NO_FLUSH);
                sum = crc32(sum, out, (uInt)(sizeof out - stream.avail_out));
            } while (result == Z_OK);
            inflateEnd(&stream);
            if (result != Z_STREAM_END)
                status = 1;
        } else {
            sum = crc32(sum, data, packed);
        }
        if (sum != crc)
            status = 1;
        p = (size_t)(data - (const Bytef *)bytes.data()) + packed;
    }
    *seconds = Now() - start;
    return status;
}

int RunMeasurement(const char *kind, const char *archive, const char *out, const char *resultPath)
{
    Figures figures;
    std::string bytes;
    if (strcmp(kind, "inflate") == 0) {
        figures.status = ReadWhole(archive, &bytes) ? InflateInMemory(bytes, &figures.seconds) : 1;
    } else {
        bool payload = strcmp(kind, "payload") == 0;
        // The window exists before the clock starts, as in the installer.
        if (payload)
            PreparePayload(out);
        double start = Now();
        figures.status = payload ? MeasurePayload(archive) : MeasureMiniunz(archive, out);
        figures.seconds = Now() - start;
    }
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    figures.peakWorkingSet = (unsigned long)memory.PeakWorkingSetSize;
    figures.peakPagefile = (unsigned long)memory.PeakPagefileUsage;
    FILE *result = fopen(resultPath, "w");
    if (!result)
        return 1;
    fprintf(result, "%.6f %d %lu %lu\n", figures.seconds, figures.status, figures.peakWorkingSet,
            figures.peakPagefile);
    fclose(result);
    return 0;
}

// ---- the driver ----

struct Workload {
    const char *title;
    std::string archive;
    unsigned files;
    unsigned long long bytes;
};

struct Kind {
    const char *name;
    const char *title;
};

const Kind KINDS[] = {
    { "inflate", "zlib in memory" },
    { "miniunz", "miniunz" },
    { "payload", "ExtractPayload" },
};

Figures RunChild(const char *kind, const Workload &work, const std::string &out, const std::string &resultPath)
{
    Figures figures;
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string command = "\"" + std::string(self) + "\" --measure " + kind + " \"" + work.archive + "\" \"" +
                          out + "\" \"" + resultPath + "\"";
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    // miniunz reports every file; that goes nowhere, as in a silent run.
    SECURITY_ATTRIBUTES inherit = { sizeof inherit, nullptr, TRUE };
    HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                             nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    PROCESS_INFORMATION process = {};
    DeleteFileA(resultPath.c_str());
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(nul);
    FILE *result = fopen(resultPath.c_str(), "r");
    if (result) {
        if (fscanf(result, "%lf %d %lu %lu", &figures.seconds, &figures.status, &figures.peakWorkingSet,
                   &figures.peakPagefile) != 4)
            figures.status = -1;
        fclose(result);
    }
    return figures;
}

bool MakeArchive(const std::string &path, const std::vector<ZipEntryPlan> &entries)
{
    return WriteWhole(path, BuildZip(entries));
}

double Mb(unsigned long long bytes)
{
    return (double)bytes / (1024.0 * 1024.0);
}

int Drive(const std::string &work)
{
    CreateDirectoryA(work.c_str(), nullptr);
    std::vector<Workload> workloads;

    double start = Now();
    ZipEntryPlan big;
    big.name = "mailstore.dat";
    big.generate = GenerateBig;
    big.generatedSize = BIG_ENTRY;
    workloads.push_back({ "(a) one 200 MB entry", work + "\\big.zip", 1, BIG_ENTRY });
    if (!MakeArchive(workloads.back().archive, { big }))
        return 1;

    std::vector<ZipEntryPlan> many;
    unsigned long long manyBytes = 0;
    uint32_t seed = 12345;
    for (int i = 0; i < SMALL_FILES; i++) {
        ZipEntryPlan entry;
        char name[64];
        snprintf(name, sizeof name, "d%02d/file%04d.txt", i % SMALL_FOLDERS, i);
        entry.name = name;
        entry.data = Text(Next(&seed), 512 + Next(&seed) % 7680);
        manyBytes += entry.data.size();
        many.push_back(entry);
    }
    workloads.push_back({ "(b) 5,000 small files", work + "\\many.zip", SMALL_FILES, manyBytes });
    if (!MakeArchive(workloads.back().archive, many))
        return 1;
    many.clear();

    // A tenth of (a): peak memory must not grow with the archive.
    big.generatedSize = MEDIUM_ENTRY;
    workloads.push_back({ "(c) one 20 MB entry", work + "\\medium.zip", 1, MEDIUM_ENTRY });
    if (!MakeArchive(workloads.back().archive, { big }))
        return 1;
    printf("archives made in %.1f s\n", Now() - start);

    int failures = 0;
    const size_t kinds = sizeof KINDS / sizeof KINDS[0];
    printf("\n%-24s %-16s %10s %9s %14s %14s\n", "workload", "extractor", "best s", "MB/s", "peak WS KiB",
           "peak PF KiB");
    for (const Workload &w : workloads) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        GetFileAttributesExA(w.archive.c_str(), GetFileExInfoStandard, &data);
        printf("%s: %.1f MB unpacked from %.1f MB\n", w.title, Mb(w.bytes), Mb(data.nFileSizeLow));
        std::vector<Figures> best(kinds);
        std::vector<std::string> runs(kinds);
        for (int repeat = 0; repeat < REPEATS; repeat++) {
            for (size_t k = 0; k < kinds; k++) {
                // A fresh folder each run; deleting between runs would have the
                // file system's clean-up fall into the next measurement.
                char run[32];
                snprintf(run, sizeof run, "\\out\\%s%d", KINDS[k].name, repeat);
                std::string out = work + run;
                CreateDirectoryA((work + "\\out").c_str(), nullptr);
                CreateDirectoryA(out.c_str(), nullptr);
                Figures figures = RunChild(KINDS[k].name, w, out, work + "\\result.txt");
                unsigned files = 0;
                unsigned long long bytes = 0;
                CountTree(out, &files, &bytes);
                bool complete = strcmp(KINDS[k].name, "inflate") == 0 || (files == w.files && bytes == w.bytes);
                if (figures.status != 0 || !complete) {
                    printf("  %s failed: status %d, %u files, %llu bytes\n", KINDS[k].title, figures.status, files,
                           bytes);
                    failures++;
                    continue;
                }
                char seconds[32];
                snprintf(seconds, sizeof seconds, " %.3f", figures.seconds);
                runs[k] += seconds;
                if (best[k].status != 0 || figures.seconds < best[k].seconds)
                    best[k] = figures;
            }
        }
        RemoveTree(work + "\\out");
        for (size_t k = 0; k < kinds; k++) {
            printf("%-24s %-16s %10.3f %9.1f %14lu %14lu   runs:%s\n", "", KINDS[k].title, best[k].seconds,
                   Mb(w.bytes) / best[k].seconds, best[k].peakWorkingSet / 1024, best[k].peakPagefile / 1024,
                   runs[k].c_str());
        }
        printf("%-24s ExtractPayload / miniunz time: %.3f   ExtractPayload / zlib floor time: %.2f\n", "",
               best[2].seconds / best[1].seconds, best[2].seconds / best[0].seconds);
    }
    printf("\nbest of %d runs each; peak figures are those of the measuring process.\n", REPEATS);
    return failures ? 1 : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 6 && strcmp(argv[1], "--measure") == 0)
        return RunMeasurement(argv[2], argv[3], argv[4], argv[5]);
    if (argc != 2) {
        fprintf(stderr, "usage: %s WORKDIR\n", argv[0]);
        return 2;
    }
    setvbuf(stdout, nullptr, _IONBF, 0);
    return Drive(argv[1]);
}
