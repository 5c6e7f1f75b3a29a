// What a run does with each file, by the numbers the command letters stand for.
#pragma once

namespace corvalin {

// Automatic decrypts a file whose header opens under the run's key set-up and encrypts any
// other.
enum class Command : int { kEncrypt = 0, kDecrypt = 1, kAutomatic = 2 };

}  // namespace corvalin
