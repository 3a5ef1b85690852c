#ifndef HALVEX_TESTS_SUPPORT_LOCAL_SERVER_H
#define HALVEX_TESTS_SUPPORT_LOCAL_SERVER_H

#include <string>

// The local distribution server the harness started (tools/server).

// "http://" + the distribution host of this build + path.
std::string DistributionUrl(const char *path);
// Replaces the control file whole (temporary file, then rename), since the
// server reads it on every request and rewrites it itself.
void SetServerControl(const std::string &directives);
// The Unix path of a file in the server's state folder, for serve=, and its
// Z:\ form for this process.
std::string ServerStateUnixPath(const char *name);
std::string ServerStatePath(const char *name);
// Closes the server's HTTP port (connections are refused, as with no server)
// or opens it again; returns once the server has done it.
bool RefuseConnections(bool refuse);
// Lines of requests.log ("http GET /path"); cleared by ClearRequestLog.
std::string ReadRequestLog();
void ClearRequestLog();

#endif
