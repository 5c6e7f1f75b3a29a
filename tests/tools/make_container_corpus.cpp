// Writes the container corpus the tests walk (tests/data/containers): containers the program
// itself makes for every block size, key length, mode and compression, version-1 containers,
// and damaged or hostile ones, each beside a ".case" file saying how to open it and what must
// come of that. Run it only when the format changes on purpose, then review the difference:
//   cmake --build build --target make_container_corpus
//   build/bin/make_container_corpus tests/data/containers

#include <cstdint>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "container/container_format.h"
#include "tests/test_support/hand_built_container.h"
#include "tests/test_support/in_process_run.h"
#include "tests/test_support/test_support.h"

namespace corvalin::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPassword = "corpus pass phrase";
// Hand-built containers take a 32-byte password: it is their key and IV as it stands.
constexpr const char* kLongPassword = "a password of exactly 32 bytes!!";

std::string SampleText() {
  std::string text;
  for (int line = 0; line < 120; ++line) {
    text += "Line " + std::to_string(line) + " of a sample that compresses well.\n";
  }
  return text + RandomBytes(777, 4);  // and an end that does not, of no round length
}

class Corpus {
 public:
  // Starts the corpus afresh: a case renamed or dropped must not live on beside the new ones.
  // Only the corpus's own kinds of file go, whatever folder was named.
  explicit Corpus(const std::string& folder) : folder_(folder) {
    fs::create_directories(folder_ + "plain");
    for (const std::string& sub : {std::string(), std::string("plain")}) {
      for (const auto& entry : fs::directory_iterator(folder_ + sub)) {
        const auto kind = entry.path().extension();
        if (entry.is_regular_file() && (!sub.empty() || kind == ".aes" || kind == ".case")) {
          fs::remove(entry.path());
        }
      }
    }
    WriteFile(folder_ + "plain/sample.txt", sample_);
  }

  // Encrypted by the program, as a user would, with the given switches.
  std::string Encrypted(const std::vector<std::string>& switches) {
    TempFolder work;
    fs::create_directories(work / "tmp");
    WriteFile(work / "sample.txt", sample_);
    std::vector<std::string> args = {"e", "-d", "-p", kPassword};
    args.insert(args.end(), switches.begin(), switches.end());
    args.push_back(work / "sample.txt");
    if (run_.Run(args, work / "tmp") != 0) throw std::runtime_error(run_.out());
    for (const std::string& name : ListFolder(work.path())) {
      if (fs::path(name).extension() == ".aes") return ReadFile(work / name);
    }
    throw std::runtime_error("no container made");
  }

  void Restores(const std::string& name, const std::string& container, const std::string& about,
                const std::string& password, const std::string& switches,
                const std::string& restored, const std::string& plain) {
    WriteFile(folder_ + "plain/" + restored, plain);
    Write(name, container, about, password, switches, "restores: " + restored);
  }
  void Fails(const std::string& name, const std::string& container, const std::string& about,
             const std::string& password, const std::string& switches, int error) {
    Write(name, container, about, password, switches, "error: " + std::to_string(error));
  }

  const std::string& sample() const { return sample_; }

 private:
  void Write(const std::string& name, const std::string& container, const std::string& about,
             const std::string& password, const std::string& switches, const std::string& outcome) {
    WriteFile(folder_ + name + ".aes", container);
    WriteFile(folder_ + name + ".case", "# " + about + "\npassword: " + password +
                                            "\nswitches: " + switches + "\n" + outcome + "\n");
  }

  std::string folder_;
  std::string sample_ = SampleText();
  InProcessRun run_;
};

void MakeValid(Corpus& corpus) {
  for (const char* block : {"128", "192", "256"}) {
    for (const char* mode : {"ecb", "cbc", "cfb"}) {
      for (const char* format : {"null", "gzip", "bzip2"}) {
        const std::string switches = std::string("-b ") + block + " -m " + mode;
        corpus.Restores(std::string("valid-b") + block + "-" + mode + "-" + format,
                        corpus.Encrypted({"-b", block, "-m", mode, "-cf", format}),
                        "made by the program: -cf " + std::string(format) + " " + switches,
                        kPassword, switches, "sample.txt", corpus.sample());
      }
    }
  }
  for (const char* key : {"128", "192"}) {
    corpus.Restores(std::string("valid-k") + key, corpus.Encrypted({"-k", key}),
                    std::string("made by the program: -k ") + key, kPassword,
                    std::string("-k ") + key, "sample.txt", corpus.sample());
  }
}

void MakeLegacy(Corpus& corpus) {
  const std::string old = "written by the first format\n";
  for (const int block : {16, 32}) {
    const std::string bits = std::to_string(block * 8);
    corpus.Restores("version1-b" + bits,
                    HandBuiltContainer(kLegacyMagic, block, kLongPassword, old, "old.txt"),
                    "the first format: no extension after the header", kLongPassword, "-b " + bits,
                    "old.txt", old);
  }
}

void MakeDamaged(Corpus& corpus) {
  const std::string whole = corpus.Encrypted({});
  const std::size_t header = 1056, extension = 32;  // each padded to the 32-byte block
  const auto fails = [&](const std::string& name, const std::string& container,
                         const std::string& about,
                         int error) { corpus.Fails(name, container, about, kPassword, "", error); };
  fails("cut-in-header", whole.substr(0, 500), "ends inside the header", -20);
  fails("cut-in-extension", whole.substr(0, header + 16), "ends inside the extension", -20);
  fails("cut-in-payload", whole.substr(0, whole.size() - 7), "ends inside the last block", -23);
  fails("short-by-a-block", whole.substr(0, whole.size() - 32),
        "a whole block of the payload missing", -23);
  // Only the recorded size is read: what lies past it cannot change the restored bytes.
  corpus.Restores("long-by-a-block", whole + whole.substr(header + extension, 32),
                  "a block more than its recorded size", kPassword, "", "sample.txt",
                  corpus.sample());
  std::string flipped = whole;
  flipped[header + extension + 100] ^= 0x01;
  fails("wrong-checksum", flipped, "one bit of the payload changed", -23);
  corpus.Fails("wrong-password", whole, "opened with another password", "not the password", "",
               -20);
  corpus.Fails("wrong-mode", whole, "opened in another mode", kPassword, "-m ecb", -20);
  corpus.Fails("wrong-block", whole, "opened with another block size", kPassword, "-b 128", -20);
}

void MakeHostile(Corpus& corpus) {
  const std::string text = "a stored name from outside\n";
  const auto named = [&](const std::string& stored) {
    return HandBuiltContainer(kMagic, 32, kLongPassword, text, stored);
  };
  const auto restores = [&](const std::string& name, const std::string& stored,
                            const std::string& about, const std::string& restored) {
    corpus.Restores(name, named(stored), about, kLongPassword, "", restored, text);
  };
  restores("name-climbs-up", "../../escape.txt", "a stored path that climbs out: only its name",
           "escape.txt");
  restores("name-is-absolute", "/etc/placed.txt", "a stored absolute path: only its name",
           "placed.txt");
  const auto refused = [&](const std::string& name, const std::string& container,
                           const std::string& about) {
    corpus.Fails(name, container, about, kLongPassword, "", -21);
  };
  refused("name-empty", named(""), "no stored name");
  refused("name-dot-dot", named(".."), "the parent folder as a name");
  refused("name-working-file", named("~aes.tmp"), "the folder's working file as a name");
  refused("name-unterminated", named(std::string(1024, 'n')), "a name with no end in its field");
  refused("name-working-after-gunzip",
          HandBuiltContainer(kMagic, 32, kLongPassword, Gzip(text), "~aes.tmp.gz", 0,
                             CompressionWord::Of(CompressionFormat::kGzip, 5).value,
                             static_cast<std::uint32_t>(text.size())),
          "a name that becomes a working file once decompressed");
}

void MakeBadCompression(Corpus& corpus) {
  const std::string text = "compressed before it was encrypted\n";
  const auto size = static_cast<std::uint32_t>(text.size());
  const auto packed = [&](const std::string& payload, CompressionFormat format,
                          const std::string& stored, std::uint32_t recorded) {
    return HandBuiltContainer(kMagic, 32, kLongPassword, payload, stored, 0,
                              CompressionWord::Of(format, 5).value, recorded);
  };
  const auto gzip = [&](const std::string& payload, std::uint32_t recorded) {
    return packed(payload, CompressionFormat::kGzip, "packed.txt.gz", recorded);
  };
  corpus.Restores("gzip-hand-made", gzip(Gzip(text), size),
                  "a gzip payload made outside the program", kLongPassword, "", "packed.txt", text);
  // A format it does not know is restored as it was stored, undecompressed.
  corpus.Restores(
      "unknown-filter", packed(text, static_cast<CompressionFormat>(7), "packed.txt.gz", size),
      "a compression format this program does not know", kLongPassword, "", "packed.txt.gz", text);
  const auto fails = [&](const std::string& name, const std::string& container,
                         const std::string& about, int error) {
    corpus.Fails(name, container, about, kLongPassword, "", error);
  };
  fails("gzip-garbage", gzip(RandomBytes(300, 5), size), "a gzip payload that is no gzip stream",
        -1);
  fails("gzip-cut", gzip(Gzip(text).substr(0, 20), size), "a gzip stream cut short", -1);
  fails("gzip-wrong-size", gzip(Gzip(text), size + 1),
        "a gzip payload that gives another size than recorded", -1);
  fails("bzip2-garbage",
        packed(RandomBytes(300, 6), CompressionFormat::kBzip2, "packed.txt.bz", size),
        "a bzip2 payload that is no bzip2 stream", -1);
  fails("bzip2-name-without-suffix",
        packed(RandomBytes(300, 6), CompressionFormat::kBzip2, "packed.txt", size),
        "a bzip2 payload stored under a name without its suffix", -28);
}

}  // namespace
}  // namespace corvalin::testing

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '\0') {
    std::cerr << "usage: make_container_corpus <folder>\n";
    return 2;
  }
  using namespace corvalin::testing;
  std::string folder = argv[1];
  if (folder.back() != kSep) folder += kSep;
  try {
    Corpus corpus(folder);
    MakeValid(corpus);
    MakeLegacy(corpus);
    MakeDamaged(corpus);
    MakeHostile(corpus);
    MakeBadCompression(corpus);
  } catch (const std::exception& error) {
    std::cerr << error.what() << "\n";
    return 1;
  }
  return 0;
}
