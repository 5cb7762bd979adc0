// The job index behind every job operation: after every kind of change, made
// by the parser or by a host through GetDocument, it must find exactly the
// job that the document-wide search finds; and the typical roads must not
// walk the document again and again.
#include <functional>
#include <set>

#include "JobTestSupport.h"
#include "KelEdsJobIndex.h"
#include "support/ResultCodes.h"
#include "xml/KelXmlTestSupport.h"

using namespace jobtest;
using namespace keltest;
using testcodes::AllOk;

// Reaches the parser's private lookup and its index.
class KelEdsXMLParserTestPeer {
 public:
  static long FindJob(const KelEdsXMLParser& parser, const KelUnicodeString& id, KelIDOMElement_var& job) {
    KelIDOMElement* found = nullptr;
    const long code = parser.FindJob(id, &found);
    job = KelIDOMElement_var::Adopt(found);
    return code;
  }
  static unsigned long Rebuilds(const KelEdsXMLParser& parser) { return parser._jobIndex->Rebuilds(); }
  static bool Current(const KelEdsXMLParser& parser) { return parser._jobIndex->IsCurrent(parser.GetDocument()); }
};

namespace {

using Peer = KelEdsXMLParserTestPeer;

KelIDOMNodeList_var AllJobs(const KelEdsXMLParser& parser) {
  KelIDOMNodeList* list = nullptr;
  EXPECT_GE(parser.GetDOMElemByTagName("EDB_Job", &list), 0);
  return KelIDOMNodeList_var::Adopt(list);
}

// The `k`-th job in document order.
KelIDOMElement_var Job(const KelEdsXMLParser& parser, unsigned int k) { return AsElement(Item(AllJobs(parser), k)); }

KelIDOMElement_var NewJob(const KelEdsXMLParser& parser, const char* id, const char* type) {
  KelIDOMElement_var job;
  EXPECT_GE(parser.GetDocument()->createElement("EDB_Job", job), 0);
  EXPECT_TRUE(AllOk({job->setAttribute("EDB_Id", id), job->setAttribute("EDB_Type", type)}));
  return job;
}

KelIDOMNode_var Root(const KelEdsXMLParser& parser) { return keltest::Root(parser.GetDocument()); }

// Host changes through the DOM; each must take place, or the step proves nothing.
void InsertBefore(const KelIDOMNode_var& parent, const KelIDOMNode_var& child, const KelIDOMNode_var& ref) {
  KelIDOMNode_var done;
  EXPECT_GE(parent->insertBefore(child, ref, done), 0);
}
void AppendTo(const KelIDOMNode_var& parent, const KelIDOMNode_var& child) { InsertBefore(parent, child, nullptr); }
void Remove(const KelIDOMNode_var& parent, const KelIDOMNode_var& child) {
  KelIDOMNode_var done;
  EXPECT_GE(parent->removeChild(child, done), 0);
}

// Every id of the document, and some that are not there, found through the
// index and through the search: the same element, or none for both.
void ExpectIndexAgreesWithSearch(const KelEdsXMLParser& parser, const std::string& step) {
  std::set<std::string> ids = {"", "unknown", "J1", "J2", "J3", "J9"};
  const KelIDOMNodeList_var all = AllJobs(parser);
  for (unsigned int k = 0; k < Length(all); ++k) ids.insert(Attribute(Job(parser, k), "EDB_Id"));
  for (const std::string& id : ids) {
    KelIDOMElement* searched = nullptr;
    ASSERT_GE(parser.GetDOMElemByTagName("EDB_Job", "EDB_Id", id.c_str(), &searched), 0) << step;
    const KelIDOMElement_var expected = KelIDOMElement_var::Adopt(searched);
    KelIDOMElement_var found;
    ASSERT_GE(Peer::FindJob(parser, id.c_str(), found), 0) << step << ": " << id;
    bool same = expected == NULL_var && found == NULL_var;
    if (expected != NULL_var && found != NULL_var) {
      ASSERT_GE(found->isSameNode(expected, same), 0);
    }
    EXPECT_TRUE(same) << step << ": job \"" << id << "\" "
                      << (found == NULL_var ? "missed" : "is " + Attribute(found, "EDB_Type")) << ", the search finds "
                      << (expected == NULL_var ? "none" : Attribute(expected, "EDB_Type"));
  }
}

// A document with jobs J1 (type a), J2 (b), J3 (c), built by the parser.
void ThreeJobs(KelEdsXMLParser& parser) {
  ASSERT_EQ(parser.Init("Integration", "1"), S_OK);
  for (const auto& [id, type] : {std::pair{"J1", "a"}, {"J2", "b"}, {"J3", "c"}}) {
    ASSERT_GE(parser.AppendJobDefinition(id, type, ""), 0);
  }
}

using Step = std::function<void(KelEdsXMLParser&)>;
struct Scenario {
  const char* name;
  Step start;
  std::vector<std::pair<const char*, Step>> steps;
};

TEST(JobIndex, FindsWhatTheSearchFindsAfterEveryKindOfChange) {
  const Scenario scenarios[] = {
      {"host inserts a duplicate before the first",
       ThreeJobs,
       {{"J2 first", [](auto& p) { InsertBefore(Root(p), NewJob(p, "J2", "new"), Job(p, 0)); }},
        {"J3 between", [](auto& p) { InsertBefore(Root(p), NewJob(p, "J3", "mid"), Job(p, 2)); }},
        {"parser appends J2", [](auto& p) { p.AppendJobDefinition("J2", "last", ""); }}}},
      {"host changes ids",
       ThreeJobs,
       {{"J3 becomes J1 (a later duplicate)", [](auto& p) { Job(p, 2)->setAttribute("EDB_Id", "J1"); }},
        {"J1 becomes X", [](auto& p) { Job(p, 0)->setAttribute("EDB_Id", "X"); }},
        {"J2 loses its id", [](auto& p) { Job(p, 1)->removeAttribute("EDB_Id"); }},
        {"X becomes J2", [](auto& p) { Job(p, 0)->setAttribute("EDB_Id", "J2"); }},
        {"parser inserts into J1", [](auto& p) { p.InsertJobInput("J1", "n", "v", "t"); }}}},
      {"host removes and the parser appends again",
       ThreeJobs,
       {{"J1 removed", [](auto& p) { Remove(Root(p), Job(p, 0)); }},
        {"J1 appended", [](auto& p) { p.AppendJobDefinition("J1", "again", ""); }},
        {"J2 removed", [](auto& p) { Remove(Root(p), Job(p, 0)); }}}},
      {"host moves jobs",
       [](auto& p) {
         ThreeJobs(p);
         p.AppendJobDefinition("J1", "second", "");
       },
       {{"first J1 to the end", [](auto& p) { AppendTo(Root(p), Job(p, 0)); }},
        {"last job to the front", [](auto& p) { InsertBefore(Root(p), Job(p, 3), Job(p, 0)); }},
        {"J2 into J3", [](auto& p) { AppendTo(Job(p, 2), Job(p, 1)); }}}},
      {"nested jobs",
       ThreeJobs,
       {{"a group with J3 first",
         [](auto& p) {
           KelIDOMElement_var group;
           p.GetDocument()->createElement("Batch", group);
           AppendTo(group, NewJob(p, "J3", "grouped"));
           InsertBefore(Root(p), group, Job(p, 0));
         }},
        {"J2 inside J1", [](auto& p) { AppendTo(Job(p, 1), NewJob(p, "J2", "inner")); }},
        {"parser appends J2 and inserts",
         [](auto& p) {
           p.AppendJobDefinition("J2", "outer", "");
           p.InsertJobOutput("J2", "n", "v", "t");
         }}}},
      {"changes that touch no job",
       ThreeJobs,
       {{"a text node",
         [](auto& p) {
           KelIDOMNode_var text;
           p.GetDocument()->createTextNode("note", text);
           AppendTo(Job(p, 1), text);
         }},
        {"another attribute", [](auto& p) { Job(p, 0)->setAttribute("EDB_Type", "changed"); }}}},
      {"the document element replaced by the host",
       ThreeJobs,
       {{"a new root with J2",
         [](auto& p) {
           const KelIDOMDocument_var document = p.GetDocument();
           Remove(document, Root(p));
           KelIDOMElement_var root;
           document->createElement("Integration", root);
           AppendTo(root, NewJob(p, "J2", "new root"));
           AppendTo(document, root);
         }},
        // The parser's root is the old one, now outside the document.
        {"parser appends J9 to the old root", [](auto& p) { p.AppendJobDefinition("J9", "detached", ""); }},
        {"J9 moved into the document",
         [](auto& p) {
           KelIDOMNodeList_var outside = ByTag(AsElement(p.GetRoot()), "EDB_Job");
           InsertBefore(Root(p), Item(outside, Length(outside) - 1), FirstChild(Root(p)));
         }}}},
      {"reload and Init",
       ThreeJobs,
       {{"a loaded document",
         [](auto& p) {
           Load(p,
                "<Integration><EDB_Job EDB_Id=\"J2\" EDB_Type=\"loaded\"/>"
                "<EDB_Job EDB_Id=\"J1\" EDB_Type=\"loaded\"/></Integration>");
         }},
        {"a file", [](auto& p) { p.LoadFile(kNested.c_str(), 0); }},
        {"Init", [](auto& p) { p.Init("Integration", "2"); }},
        {"parser appends J1", [](auto& p) { p.AppendJobDefinition("J1", "fresh", ""); }}}},
      {"ids the parser could not set",
       ThreeJobs,
       {{"a job without id (bad character)", [](auto& p) { p.AppendJobDefinition("bad\x01", "no id", ""); }},
        {"J2 loses its id, earlier", [](auto& p) { Job(p, 1)->removeAttribute("EDB_Id"); }},
        {"another one", [](auto& p) { p.AppendJobDefinition("bad\x02", "no id either", ""); }}}},
      {"jobs inside entity content (kept as references)",
       [](auto& p) {
         Load(p,
              "<!DOCTYPE Integration [<!ENTITY j '<EDB_Job EDB_Id=\"J2\" EDB_Type=\"entity\"/>'>]>"
              "<Integration><EDB_Job EDB_Id=\"J1\" EDB_Type=\"a\"/>&j;<EDB_Job EDB_Id=\"J2\" EDB_Type=\"plain\"/>"
              "&j;</Integration>");
       },
       {{"the plain J2 moved first",
         [](auto& p) {
           KelIDOMNode_var plain = Item(AllJobs(p), 2);
           InsertBefore(Parent(plain), plain, FirstChild(Parent(plain)));
         }}}},
  };
  for (const Scenario& scenario : scenarios) {
    SCOPED_TRACE(scenario.name);
    KelEdsXMLParser parser;
    scenario.start(parser);
    ExpectIndexAgreesWithSearch(parser, "start");  // the index is now current
    for (const auto& [name, step] : scenario.steps) {
      step(parser);
      ExpectIndexAgreesWithSearch(parser, name);
    }
  }
}

// The number of references on the document besides the caller's handle.
unsigned long OthersHolding(const KelIDOMDocument_var& document) {
  const unsigned long count = document->AddRef();
  document->Release();
  return count - 2;
}

TEST(JobIndex, TheTypicalRoadsWalkTheDocumentOnlyOnce) {
  constexpr int kJobs = 300;
  const auto id = [](int i) { return KelUnicodeString(("J" + std::to_string(i)).c_str()); };
  // A request built by the parser: the new document's (empty) index is made
  // at the first append and kept current from then on.
  KelEdsXMLParser request, single;
  ASSERT_EQ(request.Init("Integration", "1"), S_OK);
  ASSERT_EQ(single.Init("Integration", "1"), S_OK);
  const unsigned long before = Peer::Rebuilds(request);
  for (int i = 0; i < kJobs; ++i) {
    ASSERT_GE(request.AppendJobDefinition(id(i), "t", ""), 0);
    ASSERT_TRUE(
        AllOk({request.InsertJobInput(id(i), "a", id(i), ""), request.InsertJobContextInput(id(i), "c", "2", "")}));
  }
  ASSERT_TRUE(AllOk({single.AppendJobDefinition(id(7), "t", ""), single.InsertJobInput(id(7), "copied", "3", "")}));
  ASSERT_GE(request.InsertSingleJobInputFromParser(&single), 0);
  EXPECT_EQ(Peer::Rebuilds(request) - before, 1u);
  EXPECT_TRUE(Peer::Current(request));

  // The answer to it: one walk after the load, then none.
  KelEdsXMLParser reply;
  ASSERT_GE(Load(reply, Stream(request)), 0);
  const unsigned long loaded = Peer::Rebuilds(reply);
  KelListValKelUnicodeString ids, types, inputs;
  ASSERT_GE(reply.GetJobDefinition(ids, types, inputs), 0);
  ASSERT_EQ(ids.Size(), kJobs);
  const KelListValKelUnicodeString rows{"done"};
  for (const KelUnicodeString& job : ids) {
    KelListValKelUnicodeString names, values, kinds;
    KelUnicodeString key, file, type, parameters;
    ASSERT_TRUE(
        AllOk({reply.GetJobInput(job, names, values, kinds), reply.GetJobContextInput(job, names, values, kinds)}));
    ASSERT_EQ(values[1], job) << "the inputs of another job";
    ASSERT_TRUE(
        AllOk({reply.InsertJobOutput(job, "o", values[1], ""), reply.InsertJobReportOutput(job, rows),
               reply.InsertJobDeleteErrOutput(job, "c", "k", "o"), reply.InsertJobErrorMsg(job, "k", "f", nullptr)}));
    ASSERT_GE(reply.GetJobError(job, key, file, type, parameters), 0);
  }
  EXPECT_EQ(Peer::Rebuilds(reply) - loaded, 1u);
  // The client reads the answer from the bytes sent back.
  KelEdsXMLParser answer;
  KelListValKelUnicodeString out[3], answerRows, deleted[3];
  KelUnicodeString key, file, type, parameters;
  ASSERT_GE(Load(answer, Stream(reply)), 0);
  ASSERT_TRUE(AllOk({answer.GetJobOutput(id(9), out[0], out[1], out[2]), answer.GetJobReportOutput(id(9), answerRows),
                     answer.GetJobDeleteErrOutput(id(9), deleted[0], deleted[1], deleted[2]),
                     answer.GetJobError(id(9), key, file, type, parameters)}));
  EXPECT_EQ((std::vector<Strings>{Of(out[0]), Of(out[1]), Of(answerRows), Of(deleted[2]), Of({key, file, parameters})}),
            (std::vector<Strings>{{"o"}, {"J9"}, {"done"}, {"o"}, {"k", "f", ""}}));

  // A change by the host costs one walk more, and no more than one.
  ASSERT_GE(Job(reply, 5)->setAttribute("EDB_Type", "changed by the host"), 0);
  for (int i = 0; i < kJobs; ++i) ASSERT_GE(reply.InsertJobOutput(id(i), "again", "", ""), 0);
  EXPECT_EQ(Peer::Rebuilds(reply) - loaded, 2u);
}

TEST(JobIndex, ADocumentReplacedIsNotKeptAlive) {
  const std::function<long(KelEdsXMLParser&)> replacements[] = {
      [](auto& p) { return p.Init("Integration", "2"); },
      [](auto& p) { return Load(p, "<Integration><EDB_Job EDB_Id=\"J1\"/></Integration>"); },
      [](auto& p) { return p.LoadFile(kNested.c_str(), 0); },
  };
  for (const auto& replace : replacements) {
    KelEdsXMLParser parser;
    ThreeJobs(parser);
    ExpectIndexAgreesWithSearch(parser, "filled");  // the index holds the jobs
    const KelIDOMDocument_var old = parser.GetDocument();
    EXPECT_GT(OthersHolding(old), 1u);
    ASSERT_GE(replace(parser), 0);
    EXPECT_EQ(OthersHolding(old), 0u) << "the old document should be freed with the last outside handle";
    ExpectIndexAgreesWithSearch(parser, "replaced");
  }
}

}  // namespace
