#include "app/help_page.h"

#include <string>

#include "platform/path.h"
#include "platform/platform.h"
#include "support/product_identity.h"

namespace corvalin {
namespace {

constexpr const char* kBanner =
    "Win32/x86 - Command line version.\n" CORVALIN_COPYRIGHT
    ". All rights reserved.\n"
    "\n"
    "This is a lightning fast Aes/Rijndael block cipher.\n"
    "The latest version can be found on the Corvalin authors' project page.";

constexpr const char* kDisclaimer =
    "THIS SOFTWARE IS PROVIDED BY THE CORVALIN AUTHORS AND CONTRIBUTORS \"AS IS\" AND\n"
    "ANY EXPRESS OR IMPLIED WARRANTIES, INCLUDING, BUT NOT LIMITED TO, THE IMPLIED\n"
    "WARRANTIES OF MERCHANTABILITY AND FITNESS FOR A PARTICULAR PURPOSE ARE\n"
    "DISCLAIMED. IN NO EVENT SHALL THE AUTHORS OR CONTRIBUTORS BE LIABLE FOR ANY\n"
    "DIRECT, INDIRECT, INCIDENTAL, SPECIAL, EXEMPLARY, OR CONSEQUENTIAL DAMAGES\n"
    "(INCLUDING, BUT NOT LIMITED TO, PROCUREMENT OF SUBSTITUTE GOODS OR SERVICES;\n"
    "LOSS OF USE, DATA, OR PROFITS; OR BUSINESS INTERRUPTION) HOWEVER CAUSED AND ON\n"
    "ANY THEORY OF LIABILITY, WHETHER IN CONTRACT, STRICT LIABILITY, OR TORT\n"
    "(INCLUDING NEGLIGENCE OR OTHERWISE) ARISING IN ANY WAY OUT OF THE USE OF THIS\n"
    "SOFTWARE, EVEN IF ADVISED OF THE POSSIBILITY OF SUCH DAMAGE.";

constexpr const char* kVersionLine =
    "Corvalin " CORVALIN_VERSION " (Build " CORVALIN_BUILD_DATE ")";

constexpr const char* kSeparatorLine =
    "  --------------------------------------------------------------------------";

constexpr const char* kSwitchLines[] = {
    "   -p <password> Set Aes password (max 32 bytes)",
    "   -k <key>      Set Aes key length to <128>,<192> or <256> bits [256]",
    "   -b <size>     Set Aes block size to <128>,<192> or <256> bits [256]",
    "   -m <mode>     Set Aes operation mode to <ecb>,<cbc> or <cfb> value [cbc]",
    "                 (ecb = Electronic Code Book, cbc = Cipher Block Chaining,",
    "                  cfb = Cipher Feedback Block)",
    "   -w            Turn on wiping for temporary file(s) [off]",
    "   -wl <number>  Set number of wiping passes [3]",
    "   -n            Turn on name mangling/restoring during enc/dec [off]",
    "   -e            Turn off name extension to '.aes' during enc [on]",
    "   -d            Turn off deleting source file after enc/dec [on]",
    kSeparatorLine,
    "   -cf <format>  Set compression format to <null>, <gzip> or <bzip2> value",
    "                 before encrypting [null]",
    "   -cl <level>   Set compression level (min=1, max=9) [5]",
    "   -cx <list>    Set compression search exclusion list",
    "                 [*.zip *.rar *.gz *.bz *.bz2 *.ace *.aes *.cab]",
    "   -cs           Turn on case sensitive in search exclusion list [off]",
    kSeparatorLine,
    "   -r            Turn on recursive subdirectories [off]",
    "   -s            Turn on case sensitive search modality [off]",
    "   -a            Turn on forcing file attribute to normal [off]",
    "   -q            Turn on quiet modality [off]",
    "   -v <level>    Set video verbose level (min=1, max=4) [3]",
    "   -lx           Turn off file logging [on]",
    "   -lo <fname>   Set log filename [%TMP%\\aeslog.txt]",
    "   -lv <level>   Set log verbose level (min=1, max=4) [2]",
    kSeparatorLine,
    "   -i            Turn on showing setting and library information [off]",
    "   -?|-h         Show this help page",
};

}  // namespace

void PrintHelpPage(Platform& platform, std::string_view program_path) {
  const auto line = [&platform](std::string_view text) {
    platform.Out(text);
    platform.Out("\n");
  };
  line("");
  line(kVersionLine);
  platform.Out(kBanner);
  line("");
  line("");
  platform.Out(kDisclaimer);
  line("");
  line("");
  platform.Out("Usage: " + FileNamePart(program_path) +
               " [commmand] <switch(es)> [file|folder]\n\n  Commmands:\n\n");
  line("    e            Encrypt file(s)");
  line("    d            Decrypt file(s) [default]");
  line("    a            Automatic enc/dec file(s)");
  line("");
  line("  Switches:");
  line("");
  for (const char* text : kSwitchLines) line(text);
  line("");
  line("  file|folder    Use file or folder [*]");
}

void PrintVersionLine(Platform& platform) {
  platform.Out(kVersionLine);
  platform.Out("\n");
}

}  // namespace corvalin
