// Complaints with arbitrary messages and file names, checked byte for byte
// against a model of the channel: the 1023-character cut, the cut copy of
// the fake trace, base names with '/' and '\', null files, and '%' in text.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "share/native/zol_tools.h"
#include "share/native/zol_tools_testing.h"

namespace {

std::string base_name(const std::string& path) {
  size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string model(const char* file, int line, const std::string& text, bool first) {
  const std::string message = text.substr(0, 1023);
  std::string out;
  if (first) {
    std::string copy = message;
    size_t newline = copy.find('\n');
    if (newline != std::string::npos) {
      copy.resize(newline + 1);
    } else if (!copy.empty()) {
      copy.back() = '\n';
    }
    out += "The following fake exception stacktrace is for failuire analysis. \n";
    out += "zol.share.Fake_Exception_for_RULE_Creation: ";
    if (file != nullptr) out += "(" + base_name(file) + ":" + std::to_string(line) + ") ";
    out += copy;
    out += "\tat zol_lvcomplain(zol_tools.cpp:172)\n";
  }
  out += file != nullptr ? "# ERROR: " + base_name(file) + ", " + std::to_string(line) + ": " : "# ERROR: ";
  return out + message;
}

}  // namespace

// Input: one flag byte (bit 0: first complaint, bit 1: null file), a 16-bit
// line, then the file name up to the first NUL byte and the message after it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const bool first = (data[0] & 1) != 0;
  const bool null_file = (data[0] & 2) != 0;
  const int line = data[1] | (data[2] << 8);
  const std::string rest(reinterpret_cast<const char*>(data + 3), size - 3);
  const size_t nul = rest.find('\0');
  const std::string file = rest.substr(0, nul);
  // The message ends at its first NUL, as a C string does.
  std::string text = nul == std::string::npos ? "" : rest.substr(nul + 1);
  text = text.substr(0, text.find('\0'));

  char* buffer = nullptr;
  size_t length = 0;
  FILE* memory = open_memstream(&buffer, &length);
  FILE* saved = stdout;
  stdout = memory;
  zol_testing_set_complaint_count(first ? 0 : 1);
  zol_lcomplain(null_file ? nullptr : file.c_str(), line, "%s", text.c_str());
  fflush(memory);
  stdout = saved;
  fclose(memory);

  const std::string expected = model(null_file ? nullptr : file.c_str(), line, text, first);
  if (std::string(buffer, length) != expected) {
    fprintf(stderr, "output differs from the model\n--- got ---\n%.*s\n--- want ---\n%s\n", static_cast<int>(length),
            buffer, expected.c_str());
    abort();
  }
  free(buffer);
  return 0;
}
