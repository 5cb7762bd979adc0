// The subcommand families of edsutil. Each family lives in a source of its
// own and adds its subcommands, their options and their callbacks to the
// application; main calls the Add functions in the order the help lists them.
//
// A new family is one more source with one more Add function declared here
// and called from main; no other family changes. A callback reports a failed piece of
// work with edsutil::Failure and a misuse with edsutil::UsageError
// (EdsutilOutput.h), and writes its results through the output helpers there.
#pragma once

namespace CLI {
class App;
}

namespace edsutil {

void AddSqlCommand(CLI::App& app);       // sql          SqlCommand.cpp
void AddUuidsCommand(CLI::App& app);     // uuids        UuidsCommand.cpp
void AddSchemaCommands(CLI::App& app);   // schema ...   SchemaCommands.cpp, SchemaDiagram.cpp
void AddEffCommands(CLI::App& app);      // eff ...      EffCommands.cpp
void AddTextCommands(CLI::App& app);     // blanks, tokens  TextCommands.cpp
void AddFillCommand(CLI::App& app);      // fill         FillCommand.cpp
void AddMetadataCommand(CLI::App& app);  // metadata     MetadataCommand.cpp
void AddJobCommands(CLI::App& app);      // job ...      JobCommands.cpp, JobDocument.cpp
void AddDemoCommand(CLI::App& app);      // demo         DemoCommand.cpp
void AddExecCommand(CLI::App& app);      // exec         ExecCommand.cpp (the job server)
void AddSendCommand(CLI::App& app);      // send         SendCommand.cpp (edsd's client)

// Belongs to the schema family, in a source of its own: schema diagram.
void AddSchemaDiagramCommand(CLI::App& schema);

}  // namespace edsutil
