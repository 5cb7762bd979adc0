#include "KelFile.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "KelSystem.h"

struct KelFileHandle {
  std::FILE* file;
  bool text;  // CRLF reads as LF
};

int KelFOpen(const char* path, const char* mode, KelFileDescriptor* descriptor) {
  if (descriptor == nullptr) return -1;
  *descriptor = nullptr;
  if (path == nullptr || mode == nullptr) return -1;
  std::FILE* file = kelsystem::OpenFile(path, mode);
  if (file == nullptr) return -1;
  auto* handle = new (std::nothrow) KelFileHandle{file, std::strchr(mode, 'b') == nullptr && mode[0] == 'r'};
  if (handle == nullptr) {
    std::fclose(file);
    return -1;
  }
  *descriptor = handle;
  return 0;
}

int KelFGets(char* buffer, int size, KelFileDescriptor descriptor) {
  if (buffer == nullptr || size < 2 || descriptor == nullptr) return -1;
  std::FILE* file = descriptor->file;
  int count = 0;
  while (count < size - 1) {
    int c = std::getc(file);
    if (c == EOF) break;
    if (c == '\r' && descriptor->text) {
      int next = std::getc(file);
      if (next == '\n') {
        c = '\n';
      } else if (next != EOF) {
        std::ungetc(next, file);
      }
    }
    buffer[count++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  buffer[count] = '\0';
  return count > 0 ? 0 : -1;
}

int KelFEof(KelFileDescriptor descriptor) {
  if (descriptor == nullptr) return 0;
  int c = std::getc(descriptor->file);
  if (c == EOF) return 0;
  std::ungetc(c, descriptor->file);
  return 1;
}

int KelFPuts(const char* text, KelFileDescriptor descriptor) {
  if (text == nullptr || descriptor == nullptr) return -1;
  return std::fputs(text, descriptor->file) >= 0 ? 0 : -1;
}

int KelFClose(KelFileDescriptor descriptor) {
  if (descriptor == nullptr) return -1;
  int result = std::fclose(descriptor->file);
  delete descriptor;
  return result == 0 ? 0 : -1;
}
