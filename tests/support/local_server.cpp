#include "support/local_server.h"

#include <windows.h>

#include <stdlib.h>

#include "support/sandbox.h"

std::string DistributionUrl(const char *path)
{
    return std::string("http://" HALVEX_DISTRIBUTION_HOST) + path;
}

std::string ServerStateUnixPath(const char *name)
{
    const char *state = getenv("HALVEX_SERVER_STATE");
    return std::string(state ? state : "") + "/" + name;
}

std::string ServerStatePath(const char *name)
{
    return HarnessPath("HALVEX_SERVER_STATE") + "\\" + name;
}

void SetServerControl(const std::string &directives)
{
    std::string target = ServerStatePath("control");
    std::string temp = target + ".test-tmp";
    WriteFileBytes(temp, directives);
    ASSERT_TRUE(MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) << GetLastError();
}

std::string ReadRequestLog()
{
    std::string log;
    ReadFileBytes(ServerStatePath("requests.log"), &log);
    return log;
}

void ClearRequestLog()
{
    DeleteFileA(ServerStatePath("requests.log").c_str());
}

bool RefuseConnections(bool refuse)
{
    std::string flag = ServerStatePath("refuse");
    std::string done = ServerStatePath("refusing");
    if (refuse)
        WriteFileBytes(flag, "");
    else
        DeleteFileA(flag.c_str());
    for (int i = 0; i < 100; i++) {
        if ((GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES) == refuse)
            return true;
        Sleep(50);
    }
    return false;
}
