// edsutil schema diagram: a picture of the cable network schema. One box per
// class with its attributes and key marks, one arrow per foreign key labelled
// with its constraint name, and the classes outside the schema that the
// external references point to as nodes of their own. The tool writes DOT;
// SVG and PNG come from Graphviz's dot.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "EdsutilCommands.h"
#include "EdsutilOutput.h"
#include "SchemaModel.h"

extern char** environ;

namespace edsutil {
namespace {

struct DiagramOptions {
  std::string format = "dot";
  std::string out;
};

std::string Html(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Quoted(const std::string& id) { return "\"" + id + "\""; }

std::string TailPort(const std::string& attr) { return attr + "_out"; }
std::string HeadPort(const std::string& attr) { return attr + "_in"; }

std::string ClassNode(const ClassInfo& info) {
  std::string label =
      "<TABLE BORDER=\"0\" CELLBORDER=\"1\" CELLSPACING=\"0\" CELLPADDING=\"4\" COLOR=\"#5b7083\">\n"
      "      <TR><TD COLSPAN=\"3\" BGCOLOR=\"#d6e4f0\"><B>" +
      Html(info.tessel) + "</B></TD></TR>\n";
  for (const AttributeInfo& attr : info.attributes) {
    std::string marks;
    if (attr.primaryKey) marks += "PK";
    if (!attr.relationship.empty()) marks += std::string(marks.empty() ? "" : " ") + (attr.external ? "REF" : "FK");
    if (attr.unique) marks += std::string(marks.empty() ? "" : " ") + "U";
    // Optional attributes (NULL allowed) in grey.
    const std::string open = attr.mandatory ? "" : "<FONT COLOR=\"#8a8a8a\">";
    const std::string close = attr.mandatory ? "" : "</FONT>";
    const std::string name = attr.primaryKey ? "<B>" + Html(attr.name) + "</B>" : Html(attr.name);
    // With the graph drawn right to left, a foreign key leaves its row on the
    // left (the marks cell) and enters the referenced key on the right (the
    // type cell), so arrows never run across a box.
    label += "      <TR><TD ALIGN=\"LEFT\" PORT=" + Quoted(TailPort(attr.name)) + ">" + Html(marks) +
             "</TD><TD ALIGN=\"LEFT\">" + open + name + close +
             "</TD><TD ALIGN=\"LEFT\" PORT=" + Quoted(HeadPort(attr.name)) + ">" + open + Html(attr.type) + close +
             "</TD></TR>\n";
  }
  label += "    </TABLE>";
  return "  " + Quoted(info.tessel) + " [label=<\n    " + label + ">];\n";
}

std::string DiagramDot() {
  SchemaModel model;
  std::vector<ClassInfo> classes;
  std::map<std::string, std::string> primaryKeys;  // Tessel name -> primary key attribute
  for (const std::string& name : model.ClassNames()) {
    classes.push_back(model.Describe(name));
    primaryKeys[classes.back().tessel] = classes.back().primaryKey;
  }

  std::string dot =
      "digraph CableNetwork {\n"
      "  graph [rankdir=RL, fontname=\"Helvetica\", fontsize=14, labelloc=t, nodesep=0.35, ranksep=1.1,\n"
      "         label=<<B>Cable network schema (xq40718)</B><BR/><FONT POINT-SIZE=\"10\">PK primary key, FK foreign "
      "key, REF external reference, U unique; grey: may be NULL</FONT>>];\n"
      "  node [shape=plain, fontname=\"Helvetica\", fontsize=10];\n"
      "  edge [fontname=\"Helvetica\", fontsize=9, color=\"#4a6785\", fontcolor=\"#1f3a56\", arrowsize=0.7];\n\n";
  for (const ClassInfo& info : classes) dot += ClassNode(info);

  std::set<std::string> outside;
  std::string edges = "\n";
  for (const ClassInfo& info : classes) {
    for (const RelationshipInfo& rel : info.relationships) {
      const std::string from = Quoted(info.tessel) + ":" + Quoted(TailPort(rel.attributes)) + ":w";
      if (rel.external) {
        outside.insert(rel.target);
        edges += "  " + from + " -> " + Quoted(rel.target) + " [label=" + Quoted(rel.name) +
                 ", style=dashed, color=\"#a05a2c\", fontcolor=\"#a05a2c\"];\n";
        continue;
      }
      const auto key = primaryKeys.find(rel.target);
      const std::string to =
          Quoted(rel.target) +
          (key != primaryKeys.end() && !key->second.empty() ? ":" + Quoted(HeadPort(key->second)) + ":e" : "");
      edges += "  " + from + " -> " + to + " [label=" + Quoted(rel.name) + "];\n";
    }
  }
  if (!outside.empty()) dot += "\n";
  for (const std::string& target : outside) {
    dot += "  " + Quoted(target) +
           " [shape=box, style=\"rounded,dashed\", color=\"#a05a2c\", fontcolor=\"#a05a2c\", label=<" + Html(target) +
           "<BR/><FONT POINT-SIZE=\"8\">outside the schema</FONT>>];\n";
  }
  return dot + edges + "}\n";
}

// Runs `dot -T<format>` with the DOT text on its standard input and its
// output going to `outFd`.
void RunDot(const std::string& dotText, const std::string& format, int outFd) {
  int input[2];
  if (pipe(input) != 0) throw Failure(std::string("cannot create a pipe: ") + std::strerror(errno));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
  // The pipe's own descriptors are not for dot (unless they happen to be
  // the standard ones it was just given).
  if (input[0] != STDIN_FILENO && input[0] != STDOUT_FILENO) posix_spawn_file_actions_addclose(&actions, input[0]);
  if (input[1] != STDIN_FILENO && input[1] != STDOUT_FILENO) posix_spawn_file_actions_addclose(&actions, input[1]);
  std::string typeFlag = "-T" + format;
  char program[] = "dot";
  char* argv[] = {program, typeFlag.data(), nullptr};
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, "dot", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(input[0]);
  if (spawned != 0) {
    close(input[1]);
    if (spawned == ENOENT) {
      throw Failure("Graphviz 'dot' is not installed (needed for --format " + format +
                    "); install graphviz, or use --format dot");
    }
    throw Failure("cannot run Graphviz 'dot': " + std::string(std::strerror(spawned)));
  }
  // A dot that dies early must not kill us through SIGPIPE.
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &previous);
  std::size_t sent = 0;
  while (sent < dotText.size()) {
    const ssize_t n = write(input[1], dotText.data() + sent, dotText.size() - sent);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  close(input[1]);
  sigaction(SIGPIPE, &previous, nullptr);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || sent < dotText.size()) {
    throw Failure("Graphviz 'dot' failed to render the diagram as " + format);
  }
}

void Diagram(const DiagramOptions& options) {
  const std::string dot = DiagramDot();
  if (options.format == "dot") {
    EmitTo(options.out, dot);
    return;
  }
  if (options.out.empty()) {
    std::fflush(stdout);
    RunDot(dot, options.format, STDOUT_FILENO);
    return;
  }
  // dot renders into an unnamed temporary file; the picture then replaces
  // the output file whole, as every file edsutil writes.
  struct TemporaryFile {
    std::FILE* file = std::tmpfile();
    ~TemporaryFile() {
      if (file != nullptr) std::fclose(file);
    }
  } rendered;
  if (rendered.file == nullptr) throw Failure(std::string("cannot make a temporary file: ") + std::strerror(errno));
  RunDot(dot, options.format, fileno(rendered.file));
  std::string picture;
  std::rewind(rendered.file);
  char block[65536];
  for (std::size_t n; (n = std::fread(block, 1, sizeof block, rendered.file)) > 0;) picture.append(block, n);
  if (std::ferror(rendered.file)) throw Failure(std::string("cannot read what dot rendered: ") + std::strerror(errno));
  EmitTo(options.out, picture);
}

}  // namespace

void AddSchemaDiagramCommand(CLI::App& schema) {
  auto options = std::make_shared<DiagramOptions>();
  CLI::App* diagram = schema.add_subcommand("diagram", "Draw the cable network schema (DOT, SVG or PNG)");
  diagram->footer(
      "A box per class with its attributes and key marks, an arrow per foreign key labelled with\n"
      "its constraint name, and the outside classes that external references point to.\n"
      "DOT is written by edsutil; svg and png need Graphviz's dot on the PATH.");
  diagram->add_option("-f,--format", options->format, "Output format (default dot)")
      ->check(CLI::IsMember({"dot", "svg", "png"}));
  diagram->add_option("-o,--out", options->out, "Write to FILE instead of standard output")->type_name("FILE");
  diagram->callback([options] { Diagram(*options); });
}

}  // namespace edsutil
