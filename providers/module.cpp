// One cipher module: the entry points of Rijndael for the block size this module is built for
// (CORVALIN_BLOCK_BYTES), under the names its loader looks up.
#include "platform/module_version_table.h"
#include "providers/implementation.h"
#include "providers/provider_abi.h"
#include "support/product_identity.h"

#ifndef CORVALIN_BLOCK_BYTES
#error "CORVALIN_BLOCK_BYTES must be 16, 24 or 32"
#endif

#ifdef _WIN32
#define CORVALIN_EXPORT extern "C" __declspec(dllexport)
#else
#define CORVALIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

using corvalin::rijndael::Schedule;
namespace rijndael = corvalin::rijndael;
constexpr int kColumns = CORVALIN_BLOCK_BYTES / 4;

// The fastest way this processor offers, chosen once when the module is first used.
const rijndael::Implementation& How() {
  static const rijndael::Implementation& chosen = rijndael::Best(kColumns);
  return chosen;
}

const Schedule& Keys(const void* schedule) {
  return *static_cast<const Schedule*>(schedule);
}

int EncryptKey(const unsigned char* key, int key_length, void* schedule) {
  rijndael::ExpandEncryptionKey(kColumns, key, key_length, *static_cast<Schedule*>(schedule));
  return 0;
}

int DecryptKey(const unsigned char* key, int key_length, void* schedule) {
  rijndael::ExpandDecryptionKey(kColumns, key, key_length, *static_cast<Schedule*>(schedule));
  return 0;
}

int Encrypt(const unsigned char* in, unsigned char* out, const void* schedule) {
  How().encrypt(Keys(schedule), in, out);
  return 0;
}

int Decrypt(const unsigned char* in, unsigned char* out, const void* schedule) {
  How().decrypt(Keys(schedule), in, out);
  return 0;
}

// CORVALIN_DESCRIPTION comes from the build, which gives the same text to the Windows
// version resource.
#ifndef CORVALIN_DESCRIPTION
#error "CORVALIN_DESCRIPTION: the module's description, given by providers/CMakeLists.txt"
#endif
constexpr CorvalinVersionEntry kVersionEntries[] = {
    {"FileVersion", CORVALIN_VERSION},
    {"PrivateBuild", CORVALIN_MODULE_BUILD},
    {"FileDescription", CORVALIN_DESCRIPTION},
    {"LegalCopyright", CORVALIN_COPYRIGHT},
};

}  // namespace

CORVALIN_EXPORT const CorvalinVersionTable corvalin_version_info = {
    0x04B00409, sizeof kVersionEntries / sizeof kVersionEntries[0], kVersionEntries};

CORVALIN_EXPORT int aes_init(void) {
  return 0;
}

CORVALIN_EXPORT int corvalin_ecb_encrypt(const unsigned char* in, unsigned char* out,
                                         unsigned int blocks, unsigned char*, const void* ks) {
  How().encrypt_many(Keys(ks), in, out, blocks);
  return 0;
}
CORVALIN_EXPORT int corvalin_ecb_decrypt(const unsigned char* in, unsigned char* out,
                                         unsigned int blocks, unsigned char*, const void* ks) {
  How().decrypt_many(Keys(ks), in, out, blocks);
  return 0;
}
CORVALIN_EXPORT int corvalin_cbc_encrypt(const unsigned char* in, unsigned char* out,
                                         unsigned int blocks, unsigned char* chain,
                                         const void* ks) {
  How().cbc_encrypt(Keys(ks), in, out, blocks, chain);
  return 0;
}
CORVALIN_EXPORT int corvalin_cbc_decrypt(const unsigned char* in, unsigned char* out,
                                         unsigned int blocks, unsigned char* chain,
                                         const void* ks) {
  rijndael::CbcDecrypt(How(), kColumns, Keys(ks), in, out, blocks, chain);
  return 0;
}
CORVALIN_EXPORT int corvalin_cfb_encrypt(const unsigned char* in, unsigned char* out,
                                         unsigned int blocks, unsigned char* chain,
                                         const void* ks) {
  How().cfb_encrypt(Keys(ks), in, out, blocks, chain);
  return 0;
}
CORVALIN_EXPORT int corvalin_cfb_decrypt(const unsigned char* in, unsigned char* out,
                                         unsigned int blocks, unsigned char* chain,
                                         const void* ks) {
  rijndael::CfbDecrypt(How(), kColumns, Keys(ks), in, out, blocks, chain);
  return 0;
}

#if CORVALIN_BLOCK_BYTES == 16
CORVALIN_EXPORT int aes_encrypt(const unsigned char* in, unsigned char* out, const void* ks) {
  return Encrypt(in, out, ks);
}
CORVALIN_EXPORT int aes_decrypt(const unsigned char* in, unsigned char* out, const void* ks) {
  return Decrypt(in, out, ks);
}
CORVALIN_EXPORT int aes_encrypt_key(const unsigned char* key, int length, void* ks) {
  return EncryptKey(key, length, ks);
}
CORVALIN_EXPORT int aes_decrypt_key(const unsigned char* key, int length, void* ks) {
  return DecryptKey(key, length, ks);
}
#else
CORVALIN_EXPORT int aes_enc_blk(const unsigned char* in, unsigned char* out, const void* ks) {
  return Encrypt(in, out, ks);
}
CORVALIN_EXPORT int aes_dec_blk(const unsigned char* in, unsigned char* out, const void* ks) {
  return Decrypt(in, out, ks);
}
CORVALIN_EXPORT int aes_enc_key(const unsigned char* key, int length, void* ks) {
  return EncryptKey(key, length, ks);
}
CORVALIN_EXPORT int aes_dec_key(const unsigned char* key, int length, void* ks) {
  return DecryptKey(key, length, ks);
}
#endif
