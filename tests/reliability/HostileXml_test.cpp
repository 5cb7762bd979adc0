// Documents an attacker could send: entity-expansion bombs, external
// entities that would read local files or reach the network, DTDs named on
// devices and pipes, nesting deeper than any stack. Through the job document
// class, as a host meets them.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tuple>

#include "KelIDOMDocument.h"
#include "reliability/HostileDocuments.h"
#include "reliability/ReliabilityTestSupport.h"
#include "support/ResultCodes.h"

using namespace hostile;
using namespace jobtest;
using namespace reltest;
using testcodes::AllOk;

namespace {

constexpr const char kSecret[] = "SECRET-7d41c0-CONTENT";

// Job elements in an entity: a reader would list every job of every reference.
std::string JobBomb() {
  std::string jobs;
  for (int i = 0; i < 1000; ++i) jobs += "<EDB_Job EDB_Id='J" + std::to_string(i) + "' EDB_Type='t' EDB_JobInput=''/>";
  std::string text = "<!DOCTYPE Integration [<!ENTITY jobs \"" + jobs + "\">]>\n<Integration version=\"1\">";
  for (int i = 0; i < 5000; ++i) text += "&jobs;";
  return text + "</Integration>";
}

struct Loaded {
  std::string way;  // "from bytes", "from a file, validated", ...
  long code;
  std::string stream;  // what GenerateStream wrote, when the load succeeded
};

// Loads `text` from bytes and from a file (in `directory` of the scratch
// directory), each with the validation flags of `validations` (bytes are
// validated against the job DTD), and writes what loaded.
std::vector<Loaded> LoadEveryWay(const std::string& text, const Scratch& scratch,
                                 const std::vector<unsigned char>& validations = {0, 1},
                                 const std::string& directory = ".") {
  std::filesystem::create_directories(scratch.File(directory));
  const std::string path = scratch.File(directory + "/document.xml");
  WriteFile(path, text);
  std::vector<Loaded> outcomes;
  for (bool fromFile : {false, true}) {
    for (unsigned char validate : validations) {
      KelEdsXMLParser parser;
      const long code =
          fromFile ? parser.LoadFile(path.c_str(), validate) : Load(parser, text, validate, "KelEdsJobs.dtd");
      outcomes.push_back({std::string(fromFile ? "from a file" : "from bytes") + (validate ? ", validated" : ""), code,
                          code >= 0 ? Stream(parser) : ""});
    }
  }
  return outcomes;
}

// Bombs are refused by every load; entities used within reason load, and
// are written out expanded with their declaration kept (the count of 'q').
// libxml2's nesting limit (without XML_PARSE_HUGE) holds for both loads: 257
// nested elements load, deeper documents are refused cleanly, never by
// running out of stack.
TEST(HostileXml, EntityBombsAndDeepNestingAreRefusedByEveryLoad) {
  Scratch scratch;
  // Name, document, and the count of 'q' once loaded (-1: refused; refusals are also validated).
  const std::tuple<std::string, std::string, long> cases[] = {
      {"billion laughs", BillionLaughs(), -1},
      {"quadratic blowup", QuadraticBlowup(100000, 20000), -1},
      {"quadratic blowup in an attribute", QuadraticBlowup(100000, 20000, true), -1},
      {"jobs in an entity", JobBomb(), -1},
      {"modest use", QuadraticBlowup(1000, 1000), 1000 * 1000 + 1000},
      {"257 nested elements", Nested(257), 0},
      {"258 nested elements", Nested(258), -1},
      {"100000 nested elements", Nested(100000), -1},
  };
  for (const auto& [name, text, letters] : cases) {
    for (const Loaded& loaded :
         LoadEveryWay(text, scratch, letters < 0 ? std::vector<unsigned char>{0, 1} : std::vector<unsigned char>{0})) {
      SCOPED_TRACE(name + " " + loaded.way);
      ASSERT_EQ(loaded.code >= 0, letters >= 0);
      if (letters >= 0) {
        EXPECT_EQ(std::count(loaded.stream.begin(), loaded.stream.end(), 'q'), letters);
      }
    }
  }
}

// The refusal above must not cost what the bomb asks for: a fresh process
// that meets it stays small.
TEST(HostileXml, RefusingABombTakesLittleMemory) {
  Scratch scratch;
  const std::string laughs = scratch.File("laughs.xml"), blowup = scratch.File("blowup.xml");
  WriteFile(laughs, BillionLaughs());
  WriteFile(blowup, QuadraticBlowup(100000, 20000));
  // A sanitized process carries its runtime and its freed-memory quarantine.
  const long boundKb = kSanitized ? 400 * 1024 : 100 * 1024;
  for (const std::vector<std::string>& command : {std::vector<std::string>{kProbe, "load-stream", laughs},
                                                  {kProbe, "load-file", laughs},
                                                  {kProbe, "round-trip", blowup},
                                                  {kProbe, "load-file", blowup}}) {
    SCOPED_TRACE(command[1] + " " + command[2]);
    const testprocess::Result run = testprocess::Run(command);
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_LT(PrintedCode(run, command[1] == "load-file" ? "load-file" : "load-stream"), 0) << run.out;
    const std::string peak = Printed(run, "peak_rss_kb");
    ASSERT_FALSE(peak.empty()) << run.out;
    EXPECT_LT(std::stol(peak), boundKb);
  }
}

// A listening socket on the loopback that tells whether anyone connected.
class Listener {
 public:
  Listener() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_TRUE(fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0 && listen(fd_, 16) == 0 &&
                getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        << "no loopback listener";
    port_ = ntohs(address.sin_port);
  }
  ~Listener() { close(fd_); }
  std::string Url(const std::string& scheme, const std::string& path) const {
    return scheme + "://127.0.0.1:" + std::to_string(port_) + "/" + path;
  }
  bool Contacted() const {
    const int connection = accept(fd_, nullptr, nullptr);
    if (connection >= 0) close(connection);
    return connection >= 0;
  }

 private:
  int fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  int port_ = 0;
};

// No file outside the document's directory, and no byte from the network,
// reaches the document or what is written from it, whatever the entity names:
// such a load fails. A document read from bytes reads no file at all but what
// the resolver gives (the job DTD). The document file lies in "in/", the
// secret beside that directory.
TEST(HostileXml, ExternalEntitiesOutsideTheDocumentsDirectoryAreNeverRead) {
  Scratch scratch;
  WriteFile(scratch.File("secret.txt"), kSecret);
  std::filesystem::create_directories(scratch.File("in"));
  std::filesystem::create_symlink("../secret.txt", scratch.File("in/link.txt"));
  // A DTD beside the document may be read; it cannot read files outside.
  WriteFile(scratch.File("in/sneaky.dtd"),
            "<!ELEMENT Integration ANY>\n<!ATTLIST Integration version CDATA #IMPLIED>\n"
            "<!ENTITY % file SYSTEM \"../secret.txt\">\n"
            "<!ENTITY % define \"<!ENTITY leak '%file;'>\">\n%define;\n");
  Listener network;
  const std::string absolute = scratch.File("secret.txt");
  const Strings targets = {"secret.txt",
                           "../secret.txt",
                           "link.txt",
                           absolute,
                           "file://" + absolute,
                           "file://localhost" + absolute,
                           network.Url("http", "secret.txt"),
                           network.Url("https", "secret.txt"),
                           network.Url("ftp", "secret.txt")};
  const std::string declarations = "<!ELEMENT Integration ANY>\n<!ATTLIST Integration version CDATA #IMPLIED>\n";
  Strings documents;
  for (const std::string& target : targets) {
    documents.push_back("<!DOCTYPE Integration [" + declarations + "<!ENTITY ext SYSTEM \"" + target +
                        "\">]>\n<Integration version=\"1\">before &ext; after</Integration>");
    documents.push_back("<!DOCTYPE Integration [" + declarations + "<!ENTITY % pe SYSTEM \"" + target +
                        "\">\n%pe;]>\n<Integration version=\"1\">&leak;</Integration>");
    documents.push_back("<!DOCTYPE Integration SYSTEM \"" + target + "\">\n<Integration version=\"1\"/>");
  }
  documents.push_back("<!DOCTYPE Integration SYSTEM \"sneaky.dtd\">\n<Integration version=\"1\">&leak;</Integration>");
  documents.push_back(
      "<Integration version=\"1\" xmlns:xi=\"http://www.w3.org/2001/XInclude\">"
      "<xi:include href=\"secret.txt\" parse=\"text\"/></Integration>");

  // A byte sequence is read relative to the current directory.
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(scratch.path);
  int loadedCount = 0;
  for (const std::string& text : documents) {
    for (const Loaded& loaded : LoadEveryWay(text, scratch, {0, 1}, "in")) {
      loadedCount += loaded.code >= 0 ? 1 : 0;
      EXPECT_EQ(loaded.stream.find(kSecret), std::string::npos) << text << '\n' << loaded.way << '\n' << loaded.stream;
      // A reference to what cannot be read fails the load.
      if (text.find('&') != std::string::npos) {
        EXPECT_LT(loaded.code, 0) << text << '\n' << loaded.way;
      }
    }
  }
  std::filesystem::current_path(previous);
  EXPECT_GT(loadedCount, 0);  // the loads that succeed are written, and checked
  EXPECT_FALSE(network.Contacted());
}

// A DTD named on something other than a regular file (a pipe, a terminal,
// standard input, a device) is refused before it is opened: reading one
// could block the host for ever.
TEST(HostileXml, DtdsOnPipesAndDevicesAreRefusedAtOnce) {
  Scratch scratch;
  const std::string fifo = scratch.File("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  alarm(60);  // a load that blocks ends the test program instead of hanging it
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(scratch.path);
  for (const std::string& target :
       Strings{"-", "/dev/stdin", "/dev/tty", "/dev/zero", "/dev/urandom", fifo, "file://" + fifo, "fifo", "fif%6F"}) {
    const std::string text = "<!DOCTYPE Integration SYSTEM \"" + target + "\">\n<Integration version=\"1\"/>";
    for (const Loaded& loaded : LoadEveryWay(text, scratch, {1}))
      EXPECT_LT(loaded.code, 0) << target << ' ' << loaded.way;
  }
  std::filesystem::current_path(previous);
  alarm(0);
}

// A tree far deeper than the parser takes can still be built through the
// DOM, and searched, copied and written to bytes and files without recursion.
TEST(HostileXml, DeepTreesBuiltThroughTheDomAreWritten) {
  constexpr int kDepth = 100000;
  KelEdsXMLParser parser;
  ASSERT_EQ(parser.Init("Integration", "1"), S_OK);
  KelIDOMDocument_var document = parser.GetDocument();
  KelIDOMNode_var current = parser.GetRoot();
  for (int i = 1; i < kDepth; ++i) {
    KelIDOMElement_var child;
    KelIDOMNode_var appended;
    ASSERT_GE(document->createElement("n", child), 0);
    ASSERT_GE(current->appendChild(child, appended), 0);
    current = appended;
  }
  KelIDOMNodeList_var all;
  KelIDOMNode_var copy, refused;
  unsigned int length = 0;
  ASSERT_TRUE(AllOk(
      {document->getElementsByTagName("n", all), all->getLength(length), parser.GetRoot()->cloneNode(true, copy)}));
  EXPECT_EQ(length, static_cast<unsigned int>(kDepth - 1));
  EXPECT_LT(current->appendChild(parser.GetRoot(), refused), 0);  // the deepest node cannot take its ancestor
  ASSERT_GE(parser.AppendJobDefinition("deep", "t", ""), 0);      // the job document still works
  const std::string bytes = Stream(parser);
  // The declaration, the root, the n elements (the deepest one empty), the job.
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '<'), 1 + 2 + 2 * (kDepth - 2) + 1 + 1);
  Scratch scratch;
  const std::string path = scratch.File("deep.xml");
  ASSERT_GE(parser.GenerateFile(path.c_str()), 0);
  EXPECT_EQ(ReadFile(path), bytes);
  KelEdsXMLParser back;
  EXPECT_LT(Load(back, bytes), 0);
  EXPECT_LT(back.LoadFile(path.c_str(), 0), 0);
}

}  // namespace
