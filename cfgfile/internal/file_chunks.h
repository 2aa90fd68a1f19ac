// The platform seam of the configuration reader: reading a whole file, piece
// by piece, with the sharing rule the reader needs.
#pragma once

#include <functional>
#include <string>
#include <string_view>

// Opens the existing file fileName (8-bit text in the system's default code
// page) for reading, letting other readers share it but no writer, and hands
// its bytes, in order, to consume in pieces of a few kilobytes until the end
// of the file, a read error, or consume returning false. Returns false, having
// called nothing, when the file cannot be opened: missing, not readable, or
// held open for writing by another; and false after a read error, having
// handed over the bytes read before it.
//
// Windows: CreateFileW with GENERIC_READ and FILE_SHARE_READ. The native
// stand-in uses fopen "rb", which has no sharing rules: there a file being
// written by another can be read.
bool ReadFileChunks(const std::string& fileName, const std::function<bool(std::string_view)>& consume);
