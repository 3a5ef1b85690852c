#include "support/file_tree.h"

#include <algorithm>

static void WalkBelow(const std::string &folder, const std::string &prefix, TreeVisitor visit, void *context)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        visit(prefix + name, found, context);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            WalkBelow(folder, prefix + name + "\\", visit, context);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

void WalkTree(const std::string &folder, TreeVisitor visit, void *context)
{
    WalkBelow(folder, "", visit, context);
}

static void AddName(const std::string &relative, const WIN32_FIND_DATAA &, void *context)
{
    ((std::vector<std::string> *)context)->push_back(relative);
}

std::vector<std::string> Tree(const std::string &folder)
{
    std::vector<std::string> names;
    WalkTree(folder, AddName, &names);
    std::sort(names.begin(), names.end());
    return names;
}
