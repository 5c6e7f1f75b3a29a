// A cipher module that lacks aes_decrypt_key, so that loading it must fail.
extern "C" __attribute__((visibility("default"))) int aes_encrypt(const unsigned char*,
                                                                  unsigned char*, const void*) {
  return 0;
}
extern "C" __attribute__((visibility("default"))) int aes_decrypt(const unsigned char*,
                                                                  unsigned char*, const void*) {
  return 0;
}
extern "C" __attribute__((visibility("default"))) int aes_encrypt_key(const unsigned char*, int,
                                                                      void*) {
  return 0;
}
extern "C" __attribute__((visibility("default"))) int aes_init(void) {
  return 0;
}
