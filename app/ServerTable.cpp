// Registration table path, text and writer (see ServerTable.h).
#include "app/ServerTable.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

namespace upload {

namespace {

std::string Quoted(const std::string& value) {
  std::string out = "\"";
  for (char c : value) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

std::string MetadataLine(const std::string& key, const std::string& value) {
  return Quoted(key) + " = " + Quoted(value) + "\n";
}

// UTF-8 to Windows-1252; false when a character has no place in it or the
// input is not valid UTF-8.
bool ToWindows1252(const std::string& in, std::string& out) {
  iconv_t cd = iconv_open("WINDOWS-1252", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::vector<char> buf(in.size() + 1);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = buf.data();
  size_t dstLeft = buf.size();
  const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1) || srcLeft != 0) return false;
  out.assign(buf.data(), dst);
  return true;
}

}  // namespace

std::string ServerTablePath(const std::string& folder, const std::string& name) {
  std::string path = folder;
  if (path.empty() || (path.back() != '/' && path.back() != '\\')) path += '/';
  return path + name + "_srv.tab";
}

std::string ServerTableText(const ServerTableLink& link) {
  std::string t =
      "!table\n"
      "!version 500\n"
      "!charset WindowsLatin1\n"
      "\n"
      "Definition Table\n"
      "  Type ODBC\n"
      "begin_metadata\n";
  t += MetadataLine("\\IsReadOnly", "FALSE");
  t += MetadataLine("\\DATALINK", "");
  t += MetadataLine("\\DATALINK\\Query", link.query);
  t += MetadataLine("\\DATALINK\\ConnectionString", link.connectString);
  if (link.ociToolkit) t += MetadataLine("\\DATALINK\\ToolKit", "ORAINET");
  t += MetadataLine("\\CACHE", "ON");
  t += MetadataLine("\\MBRSEARCH", "ON");
  return t + "end_metadata";
}

ServerTableWrite WriteServerTableFile(const std::string& path, const std::string& utf8Text,
                                      std::string* reason) {
  std::string bytes;
  if (!ToWindows1252(utf8Text, bytes)) return ServerTableWrite::NotEncodable;
  errno = 0;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) {
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (out) return ServerTableWrite::Written;
  }
  if (reason != nullptr) *reason = errno != 0 ? std::strerror(errno) : "the file could not be written";
  return ServerTableWrite::NotWritten;
}

}  // namespace upload
