// edsutil blanks ... and edsutil tokens: the library's text utilities. Blank
// encoding writes each run of n blanks as "!n$"; tokens splits a text at a
// one-character separator into trimmed pieces.
#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "EdsutilCommands.h"
#include "EdsutilOutput.h"
#include "KelEdsGeneralTool.h"
#include "SchemaModel.h"

namespace edsutil {
namespace {

struct TextOptions {
  bool json = false;
  std::string text;
  std::string separator = " ";
};

std::string Blanks(const TextOptions& options, bool encode) {
  KelUnicodeString text(TextArgument(options.text));
  KelEdsGeneralTool tool;
  const KelUnicodeString result = encode ? tool.EncodeBlanks(text) : tool.DecodeBlanks(text);
  return Record().Add("text", result.ToUTF8()).Render(options.json);
}

std::string Tokens(const TextOptions& options) {
  const KelUnicodeString separator(options.separator);
  // The library quietly splits at blanks for any other separator length;
  // a user who typed "--sep ', '" should hear about it instead.
  if (separator.GetLengthInChar() != 1) {
    throw UsageError("--sep must be exactly one character, not '" + options.separator + "'");
  }
  const std::string text = TextArgument(options.text);
  if (text.empty()) throw Failure("the text is empty: there is nothing to split");
  KelListValKelUnicodeString tokens;
  KelEdsGeneralTool tool;
  if (tool.ExtractTokenString(KelUnicodeString(text), tokens, separator) < 0) {
    throw Failure("the general tool could not split '" + text + "'");
  }
  return Record().AddList("tokens", ToStrings(tokens)).Render(options.json);
}

}  // namespace

void AddTextCommands(CLI::App& app) {
  auto options = std::make_shared<TextOptions>();
  constexpr const char* textHelp = "The text; - reads standard input (one final line end removed)";

  CLI::App* blanks = app.add_subcommand("blanks", "Encode or decode runs of blanks as \"!n$\"");
  blanks->require_subcommand(1);
  CLI::App* encode =
      blanks->add_subcommand("encode", "Encode the runs of blanks of a text (a single word loses its trailing blanks)");
  encode->add_option("TEXT", options->text, textHelp)->required();
  AddJsonFlag(*encode, options->json);
  encode->callback([options] { Emit(Blanks(*options, true)); });
  CLI::App* decode = blanks->add_subcommand(
      "decode", "Turn each \"!n$\" back into n blanks, up to the first piece that does not decode");
  decode->add_option("TEXT", options->text, textHelp)->required();
  AddJsonFlag(*decode, options->json);
  decode->callback([options] { Emit(Blanks(*options, false)); });

  CLI::App* tokens = app.add_subcommand("tokens", "Split a text at a separator, one trimmed piece per line");
  tokens->footer("Pieces are stripped of blanks at both ends; blank pieces are left out.");
  tokens->add_option("TEXT", options->text, textHelp)->required();
  tokens->add_option("-s,--sep", options->separator, "Separator, exactly one character (default: a blank)")
      ->type_name("C");
  AddJsonFlag(*tokens, options->json);
  tokens->callback([options] { Emit(Tokens(*options)); });
}

}  // namespace edsutil
