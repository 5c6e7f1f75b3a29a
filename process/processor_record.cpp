#include "platform/platform.h"
#include "process/my_object_aes.h"
#include "support/secret_memory.h"

namespace corvalin {

MyObjectAes::MyObjectAes(Platform& platform, MyStream& output)
    : sink(output), platform_(platform), serial_tools_(platform) {}

MyObjectAes::~MyObjectAes() {
  platform_.CloseFolder(serial_tools_.folder);
  FreeBlockCipherProvider(platform_, provider_library);
  WipeString(password);
}

void MyObjectAes::SetCipherParameters(const std::string& text, int key_length, int block_length) {
  password = text;
  key_bytes = key_length;
  block_bytes = block_length;
}

}  // namespace corvalin
