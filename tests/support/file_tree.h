#ifndef HALVEX_TESTS_SUPPORT_FILE_TREE_H
#define HALVEX_TESTS_SUPPORT_FILE_TREE_H

// Walks what lies below a folder. No gtest here: the extraction benchmark
// uses it too.

#include <windows.h>

#include <string>
#include <vector>

// Called with each file and folder's path relative to the walked folder;
// a folder comes before what it holds.
typedef void (*TreeVisitor)(const std::string &relative, const WIN32_FIND_DATAA &found, void *context);

// folder ends with a backslash.
void WalkTree(const std::string &folder, TreeVisitor visit, void *context);
// Every file and folder below folder, relative to it, sorted.
std::vector<std::string> Tree(const std::string &folder);

#endif
