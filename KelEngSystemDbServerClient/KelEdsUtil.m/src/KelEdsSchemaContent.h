// The cable-routing schema that KelEdsMetadataDict::LoadSchema loads: one row
// per class, attribute, constraint, scope entry and external reference, in the
// order in which they reach the dictionary. Every text is used exactly as
// written here, blanks and case included ("CHAR(80)NULL" and
// "INTEGER  NOT NULL" are part of the schema as deployed).
//
// A class code is the number after "EdbSQL_TB" in the class's SQL table name
// and after "EdbSQL_TA" in its SQL column names (codes 11 to 13 are not used).
// It routes attributes, constraints, magnitudes and scope entries to their
// class while the dictionary is built. External references are tagged with
// the class's position in kKelEdsSchemaClasses (from 1) instead.
//
// Internal to the module. Constant data: safe to read from any thread.
#pragma once

#include <iterator>

struct KelEdsSchemaClassRow {
  int Code;
  const char* NeutralName;  // owner prefix "xq40718." and the class name
  const char* SQLTable;
};

struct KelEdsSchemaAttributeRow {
  int Code;
  const char* Name;
  const char* SQLColumn;
  const char* SQLType;
  const char* Magnitude;  // kNoMagnitude for an attribute without one
};

struct KelEdsSchemaConstraintRow {
  int Code;
  const char* Text;
};

// An external class name, the separator "_N_" or "_D_", the class identifier.
struct KelEdsSchemaScopeRow {
  int Code;
  const char* Text;
};

// A FOREIGN KEY to a class of the external product-structure store.
struct KelEdsSchemaExternalRefRow {
  int ClassPosition;
  const char* Text;
};

inline constexpr const char* kNoMagnitude = nullptr;

// clang-format off

// Classes in position order: the order of the dictionary's tables, of the
// class names at the head of the name lists, and of the generated SQL.
inline constexpr KelEdsSchemaClassRow kKelEdsSchemaClasses[] = {
    { 1, "xq40718.Work_Package",        "EdbSQL_TB1_Work_Package"},
    { 3, "xq40718.Cable_Reference",     "EdbSQL_TB3_Cable_Ref"},
    { 4, "xq40718.Cable_Instance",      "EdbSQL_TB4_Cable_Inst"},
    { 2, "xq40718.Cable_From_To",       "EdbSQL_TB2_Func_Equip"},
    { 5, "xq40718.Equipment",           "EdbSQL_TB5_Phys_Equip"},
    { 6, "xq40718.Published_Connector", "EdbSQL_TB6_Pub_Cntr"},
    { 8, "xq40718.Cableway_Section",    "EdbSQL_TB8_Cableway_Sect"},
    { 9, "xq40718.Cableway_Node",       "EdbSQL_TB9_Cableway_Node"},
    { 7, "xq40718.Equipment_Port",      "EdbSQL_TB7_Equip_Port"},
    {10, "xq40718.Cableway_Arc",        "EdbSQL_TB10_Cableway_Arc"},
    {14, "xq40718.Cable_Route",         "EdbSQL_TB14_Cable_Route"},
    {15, "xq40718.Route_Section_List",  "EdbSQL_TB15_Cable_Route_List"},
    {16, "xq40718.Cableway_Arc_Points", "EdbSQL_TB16_Cableway_Arc_Points"},
};

// Attributes by class in class-code order, each class's in defined order.
inline constexpr KelEdsSchemaAttributeRow kKelEdsSchemaAttributes[] = {
    // Work_Package
    { 1, "Work_package_key",      "EdbSQL_TA1_WP_Key",      "INTEGER NOT NULL",   kNoMagnitude},
    { 1, "Part_instance_ptr",     "EdbSQL_TA1_ID",          "CHAR(256) NOT NULL", kNoMagnitude},
    { 1, "Document_revision_ptr", "EdbSQL_TA1_InternalID",  "CHAR(256) NOT NULL", kNoMagnitude},
    { 1, "Work_package_type",     "EdbSQL_TA1_Type",        "CHAR(20) NOT NULL",  kNoMagnitude},
    { 1, "Last_update_time",      "EdbSQL_TA1_UpdateTime",  "INTEGER NOT NULL",   kNoMagnitude},
    { 1, "Last_export_time",      "EdbSQL_TA1_Export_time", "INTEGER NOT NULL",   kNoMagnitude},
    // Cable_From_To
    { 2, "Cable_from_to_key",  "EdbSQL_TA2_FE_Key", "INTEGER NOT NULL",  kNoMagnitude},
    { 2, "Func_equip_name",    "EdbSQL_TA2_ID",     "CHAR(80) NOT NULL", kNoMagnitude},
    { 2, "Connector_name",     "EdbSQL_TA2_Cntr",   "CHAR(80) NOT NULL", kNoMagnitude},
    { 2, "Cable_instance_key", "EdbSQL_TA2_CI_Key", "INTEGER NULL",      kNoMagnitude},
    { 2, "Cable_name",         "EdbSQL_TA2_CI_ID",  "CHAR(80)NULL",      kNoMagnitude},
    { 2, "Work_package_key",   "EdbSQL_TA2_WP_Key", "INTEGER  NOT NULL", kNoMagnitude},
    // Cable_Reference
    { 3, "Cable_reference_key",    "EdbSQL_TA3_CR_Key",          "INTEGER NOT NULL",  kNoMagnitude},
    { 3, "Part_number",            "EdbSQL_TA3_Part_Number",     "CHAR(80) NOT NULL", kNoMagnitude},
    { 3, "Cable_type",             "EdbSQL_TA3_Type",            "CHAR(80) NOT NULL", kNoMagnitude},
    { 3, "External_diameter",      "EdbSQL_TA3_Cable_OD",        "FLOAT NOT NULL",    "LENGTH"},
    { 3, "Weight_per_unit_length", "EdbSQL_TA3_Weight",          "FLOAT NOT NULL",    "LINEMASS"},
    { 3, "Bend_radius",            "EdbSQL_TA3_Min_Bend_Radius", "FLOAT NOT NULL",    "LENGTH"},
    { 3, "Tightness",              "EdbSQL_TA3_Tightness",       "CHAR(8) NULL",      kNoMagnitude},
    // Cable_Instance
    { 4, "Cable_instance_key",  "EdbSQL_TA4_CI_Key",     "INTEGER NOT NULL",  kNoMagnitude},
    { 4, "Cable_reference_key", "EdbSQL_TA4_CR_Key",     "INTEGER NOT NULL",  kNoMagnitude},
    { 4, "Cable_name",          "EdbSQL_TA4_ID",         "CHAR(80) NOT NULL", kNoMagnitude},
    { 4, "Cable_category",      "EdbSQL_TA4_Category",   "CHAR(40) NULL",     kNoMagnitude},
    { 4, "Routing_priority",    "EdbSQL_TA4_Priority",   "INTEGER NULL",      kNoMagnitude},
    { 4, "Segregation_code",    "EdbSQL_TA4_Seg_Code",   "CHAR(8) NULL",      kNoMagnitude},
    { 4, "Maximum_length",      "EdbSQL_TA4_Max_Length", "FLOAT NULL",        "LENGTH"},
    { 4, "Work_package_key",    "EdbSQL_TA4_WP_Key",     "INTEGER NOT NULL",  kNoMagnitude},
    // Equipment
    { 5, "Equipment_key",      "EdbSQL_TA5_PE_Key",        "INTEGER NOT NULL",  kNoMagnitude},
    { 5, "Equipment_name",     "EdbSQL_TA5_ID",            "CHAR(80) NOT NULL", kNoMagnitude},
    { 5, "Cable_extra_length", "EdbSQL_TA5_Cut_In_Length", "FLOAT NULL",        "LENGTH"},
    { 5, "Work_package_key",   "EdbSQL_TA5_WP_Key",        "INTEGER NOT NULL",  kNoMagnitude},
    // Published_Connector
    { 6, "Published_connector_key", "EdbSQL_TA6_PC_Key", "INTEGER NOT NULL",  kNoMagnitude},
    { 6, "Publication_name",        "EdbSQL_TA6_ID",     "CHAR(80) NOT NULL", kNoMagnitude},
    // Equipment_Port
    { 7, "Equipment_port_key",      "EdbSQL_TA7_EP_Key", "INTEGER NOT NULL",  kNoMagnitude},
    { 7, "Equipment_key",           "EdbSQL_TA7_PE_Key", "INTEGER NOT NULL",  kNoMagnitude},
    { 7, "Connector_name",          "EdbSQL_TA7_Cntr",   "CHAR(80) NOT NULL", kNoMagnitude},
    { 7, "X_position",              "EdbSQL_TA7_X",      "FLOAT NOT NULL",    "LENGTH"},
    { 7, "Y_position",              "EdbSQL_TA7_Y",      "FLOAT NOT NULL",    "LENGTH"},
    { 7, "Z_position",              "EdbSQL_TA7_Z",      "FLOAT NOT NULL",    "LENGTH"},
    { 7, "Cableway_node_key",       "EdbSQL_TA7_CN_Key", "INTEGER NULL",      kNoMagnitude},
    { 7, "Published_connector_key", "EdbSQL_TA7_PC_Key", "INTEGER NULL",      kNoMagnitude},
    // Cableway_Section
    { 8, "Cableway_section_key",    "EdbSQL_TA8_CS_Key",       "INTEGER NOT NULL",  kNoMagnitude},
    { 8, "Cableway_section_name",   "EdbSQL_TA8_ID",           "CHAR(80) NOT NULL", kNoMagnitude},
    { 8, "Cableway_type",           "EdbSQL_TA8_Type",         "CHAR(40) NOT NULL", kNoMagnitude},
    { 8, "Key_station_type",        "EdbSQL_TA8_Sec_Type",     "INTEGER NULL",      kNoMagnitude},
    { 8, "Cableway_category",       "EdbSQL_TA8_Category",     "INTEGER NULL",      kNoMagnitude},
    { 8, "Shape",                   "EdbSQL_TA8_Shape",        "INTEGER NOT NULL",  kNoMagnitude},
    { 8, "Cable_category",          "EdbSQL_TA8_Cable_Ctg",    "CHAR(40) NULL",     kNoMagnitude},
    { 8, "Number_of_rows",          "EdbSQL_TA8_Number_Rows",  "INTEGER NULL",      kNoMagnitude},
    { 8, "Number_of_frame_per_row", "EdbSQL_TA8_Number_Tiers", "INTEGER NULL",      kNoMagnitude},
    { 8, "Area",                    "EdbSQL_TA8_Area",         "FLOAT NULL",        "AREA"},
    { 8, "Height",                  "EdbSQL_TA8_Height",       "FLOAT NULL",        "LENGTH"},
    { 8, "Height2",                 "EdbSQL_TA8_Height2",      "FLOAT NULL",        "LENGTH"},
    { 8, "Height3",                 "EdbSQL_TA8_Height3",      "FLOAT NULL",        "LENGTH"},
    { 8, "Height4",                 "EdbSQL_TA8_Height4",      "FLOAT NULL",        "LENGTH"},
    { 8, "Height5",                 "EdbSQL_TA8_Height5",      "FLOAT NULL",        "LENGTH"},
    { 8, "Width",                   "EdbSQL_TA8_Width",        "FLOAT NULL",        "LENGTH"},
    { 8, "Allowable_weight",        "EdbSQL_TA8_Allow_Weight", "FLOAT NULL",        "MASS"},
    { 8, "Growth_factor",           "EdbSQL_TA8_Growth_Fact",  "FLOAT NULL",        kNoMagnitude},
    { 8, "Work_package_key",        "EdbSQL_TA8_WP_Key",       "INTEGER NOT NULL",  kNoMagnitude},
    // Cableway_Node
    { 9, "Cableway_node_key",       "EdbSQL_TA9_CN_Key", "INTEGER NOT NULL", kNoMagnitude},
    { 9, "Cableway_section_key",    "EdbSQL_TA9_CS_Key", "INTEGER NULL",     kNoMagnitude},
    { 9, "X_position",              "EdbSQL_TA9_X",      "FLOAT NOT NULL",   "LENGTH"},
    { 9, "Y_position",              "EdbSQL_TA9_Y",      "FLOAT NOT NULL",   "LENGTH"},
    { 9, "Z_position",              "EdbSQL_TA9_Z",      "FLOAT NOT NULL",   "LENGTH"},
    { 9, "Published_connector_key", "EdbSQL_TA9_PC_Key", "INTEGER NULL",     kNoMagnitude},
    { 9, "Work_package_key",        "EdbSQL_TA9_WP_Key", "INTEGER NOT NULL", kNoMagnitude},
    // Cableway_Arc
    {10, "Cableway_arc_key",         "EdbSQL_TA10_SP_Key",      "INTEGER NOT NULL", kNoMagnitude},
    {10, "Cableway_section_key",     "EdbSQL_TA10_CS_Key",      "INTEGER NULL",     kNoMagnitude},
    {10, "Cableway_node_key_1",      "EdbSQL_TA10_CN_Key1",     "INTEGER NULL",     kNoMagnitude},
    {10, "Published_connector_key1", "EdbSQL_TA10_PC_Key1",     "INTEGER NULL",     kNoMagnitude},
    {10, "DX_1",                     "EdbSQL_TA10_DX1",         "FLOAT NOT NULL",   kNoMagnitude},
    {10, "DY_1",                     "EdbSQL_TA10_DY1",         "FLOAT NOT NULL",   kNoMagnitude},
    {10, "DZ_1",                     "EdbSQL_TA10_DZ1",         "FLOAT NOT NULL",   kNoMagnitude},
    {10, "Cableway_node_key_2",      "EdbSQL_TA10_CN_Key2",     "INTEGER NULL",     kNoMagnitude},
    {10, "Published_connector_key2", "EdbSQL_TA10_PC_Key2",     "INTEGER NULL",     kNoMagnitude},
    {10, "DX_2",                     "EdbSQL_TA10_DX2",         "FLOAT NOT NULL",   kNoMagnitude},
    {10, "DY_2",                     "EdbSQL_TA10_DY2",         "FLOAT NOT NULL",   kNoMagnitude},
    {10, "DZ_2",                     "EdbSQL_TA10_DZ2",         "FLOAT NOT NULL",   kNoMagnitude},
    {10, "Length",                   "EdbSQL_TA10_Length",      "FLOAT NOT NULL",   "LENGTH"},
    {10, "Bend_radius",              "EdbSQL_TA10_Bend_Radius", "FLOAT NULL",       "LENGTH"},
    {10, "Work_package_key",         "EdbSQL_TA10_WP_Key",      "INTEGER NOT NULL", kNoMagnitude},
    // Cable_Route
    {14, "Cable_route_key",        "EdbSQL_TA14_RT_Key",            "INTEGER NOT NULL", kNoMagnitude},
    {14, "Cable_instance_key",     "EdbSQL_TA14_CI_Key",            "INTEGER NOT NULL", kNoMagnitude},
    {14, "Equipment_port_key_1",   "EdbSQL_TA14_EP_Key1",           "INTEGER NULL",     kNoMagnitude},
    {14, "Equipment_port_key_2",   "EdbSQL_TA14_EP_Key2",           "INTEGER NULL",     kNoMagnitude},
    {14, "Design_length",          "EdbSQL_TA14_Design_Length",     "FLOAT NOT NULL",   "LENGTH"},
    {14, "Route_status",           "EdbSQL_TA14_Route_Status",      "INTEGER NOT NULL", kNoMagnitude},
    {14, "Route_time_stamp",       "EdbSQL_TA14_Route_time_stamp",  "INTEGER NOT NULL", kNoMagnitude},
    {14, "From_extra_length",      "EdbSQL_TA14_From_Extra_Length", "FLOAT NULL",       "LENGTH"},
    {14, "To_extra_length",        "EdbSQL_TA14_To_Extra_Length",   "FLOAT NULL",       "LENGTH"},
    {14, "Rule_validation_status", "EdbSQL_TA14_Rule_Valid_Status", "INTEGER NOT NULL", kNoMagnitude},
    {14, "Rule_validation_info",   "EdbSQL_TA14_Rule_Valid_Info",   "INTEGER NULL",     kNoMagnitude},
    // Route_Section_List
    {15, "Route_section_key",    "EdbSQL_TA15_RL_Key",          "INTEGER NOT NULL", kNoMagnitude},
    {15, "Cable_route_key",      "EdbSQL_TA15_RT_Key",          "INTEGER NOT NULL", kNoMagnitude},
    {15, "Cableway_section_key", "EdbSQL_TA15_CS_Key",          "INTEGER NOT NULL", kNoMagnitude},
    {15, "RowFrame_number",      "EdbSQL_TA15_Row_Frame",       "INTEGER NULL",     kNoMagnitude},
    {15, "Cable_position",       "EdbSQL_TA15_Location",        "FLOAT NULL",       "LENGTH"},
    {15, "Subroute_ID",          "EdbSQL_TA15_Subroute_ID",     "INTEGER NOT NULL", kNoMagnitude},
    {15, "Route_order_number",   "EdbSQL_TA15_Route_Order",     "INTEGER NOT NULL", kNoMagnitude},
    {15, "Rule_validation_info", "EdbSQL_TA15_Rule_Valid_Info", "INTEGER NULL",     kNoMagnitude},
    // Cableway_Arc_Points
    {16, "Cableway_Arc_Points_Key", "EdbSQL_TA16_Cableway_Arc_Points_Key", "INTEGER NOT NULL", kNoMagnitude},
    {16, "Cableway_arc_key",        "EdbSQL_TA16_Cableway_Arc_Key",        "INTEGER NOT NULL", kNoMagnitude},
    {16, "X_position",              "EdbSQL_TA16_X_Position",              "FLOAT NOT NULL",   "LENGTH"},
    {16, "Y_position",              "EdbSQL_TA16_Y_Position",              "FLOAT NOT NULL",   "LENGTH"},
    {16, "Z_position",              "EdbSQL_TA16_Z_Position",              "FLOAT NOT NULL",   "LENGTH"},
    {16, "Order_number",            "EdbSQL_TA16_Order_Number",            "INTEGER NOT NULL", kNoMagnitude},
};

// Constraints by class in class-code order, each class's in defined order.
inline constexpr KelEdsSchemaConstraintRow kKelEdsSchemaConstraints[] = {
    // Work_Package
    { 1, "CONSTRAINT WPC_PK PRIMARY KEY (Work_package_key)"},
    // Cable_From_To
    { 2, "CONSTRAINT FEC_PK PRIMARY KEY (Cable_from_to_key)"},
    { 2, "CONSTRAINT FEC_UNIQ UNIQUE (Func_equip_name,Connector_name,Work_package_key)"},
    { 2, "CONSTRAINT FEC_WP FOREIGN KEY (Work_package_key) REFERENCES Work_Package (Work_package_key)"},
    { 2, "CONSTRAINT FEC_CI FOREIGN KEY (Cable_instance_key) REFERENCES Cable_Instance (Cable_instance_key)"},
    // Cable_Reference
    { 3, "CONSTRAINT CRC_PK PRIMARY KEY (Cable_reference_key)"},
    { 3, "CONSTRAINT CRC_UNIQ UNIQUE (Part_number)"},
    // Cable_Instance
    { 4, "CONSTRAINT CIC_PK PRIMARY KEY (Cable_instance_key)"},
    { 4, "CONSTRAINT CIC_UNIQ UNIQUE (Cable_name,Work_package_key)"},
    { 4, "CONSTRAINT CIC_WP FOREIGN KEY (Work_package_key) REFERENCES Work_Package (Work_package_key)"},
    { 4, "CONSTRAINT CIC_CR FOREIGN KEY (Cable_reference_key) REFERENCES Cable_Reference (Cable_reference_key)"},
    // Equipment
    { 5, "CONSTRAINT PEC_PK PRIMARY KEY (Equipment_key)"},
    { 5, "CONSTRAINT PEC_UNIQ UNIQUE (Equipment_name,Work_package_key)"},
    { 5, "CONSTRAINT PEC_WP FOREIGN KEY (Work_package_key) REFERENCES Work_Package (Work_package_key)"},
    // Published_Connector
    { 6, "CONSTRAINT PCC_PK PRIMARY KEY (Published_connector_key)"},
    { 6, "CONSTRAINT PCC_UNIQ UNIQUE (Publication_name)"},
    // Equipment_Port
    { 7, "CONSTRAINT EPC_PK PRIMARY KEY (Equipment_port_key)"},
    { 7, "CONSTRAINT EPC_UNIQ UNIQUE (Equipment_key,Connector_name)"},
    { 7, "CONSTRAINT EPC_PE FOREIGN KEY (Equipment_key) REFERENCES Equipment (Equipment_key)"},
    { 7, "CONSTRAINT EPC_CN FOREIGN KEY (Cableway_node_key) REFERENCES Cableway_Node (Cableway_node_key)"},
    { 7, "CONSTRAINT EPC_PC FOREIGN KEY (Published_connector_key) REFERENCES Published_Connector (Published_connector_key)"},
    // Cableway_Section
    { 8, "CONSTRAINT CSC_PK PRIMARY KEY (Cableway_section_key)"},
    { 8, "CONSTRAINT CSC_UNIQ UNIQUE (Cableway_section_name,Work_package_key)"},
    { 8, "CONSTRAINT CSC_WP FOREIGN KEY (Work_package_key) REFERENCES Work_Package (Work_package_key)"},
    // Cableway_Node
    { 9, "CONSTRAINT CNC_PK PRIMARY KEY (Cableway_node_key)"},
    { 9, "CONSTRAINT CNC_CS FOREIGN KEY (Cableway_section_key) REFERENCES Cableway_Section (Cableway_section_key)"},
    { 9, "CONSTRAINT CNC_PC FOREIGN KEY (Published_connector_key) REFERENCES Published_Connector (Published_connector_key)"},
    { 9, "CONSTRAINT CNC_WP FOREIGN KEY (Work_package_key) REFERENCES Work_Package (Work_package_key)"},
    // Cableway_Arc
    {10, "CONSTRAINT SPC_PK PRIMARY KEY (Cableway_arc_key)"},
    {10, "CONSTRAINT SPC_CS FOREIGN KEY (Cableway_section_key) REFERENCES Cableway_Section (Cableway_section_key)"},
    {10, "CONSTRAINT SPC_CN1 FOREIGN KEY (Cableway_node_key_1) REFERENCES Cableway_Node (Cableway_node_key)"},
    {10, "CONSTRAINT SPC_PC1 FOREIGN KEY (Published_connector_key1) REFERENCES Published_Connector (Published_connector_key)"},
    {10, "CONSTRAINT SPC_CN2 FOREIGN KEY (Cableway_node_key_2) REFERENCES Cableway_Node (Cableway_node_key)"},
    {10, "CONSTRAINT SPC_PC2 FOREIGN KEY (Published_connector_key2) REFERENCES Published_Connector (Published_connector_key)"},
    {10, "CONSTRAINT SPC_WP FOREIGN KEY (Work_package_key) REFERENCES Work_Package (Work_package_key)"},
    // Cable_Route
    {14, "CONSTRAINT RTC_PK PRIMARY KEY (Cable_route_key)"},
    {14, "CONSTRAINT RTC_UNIQ UNIQUE (Cable_instance_key)"},
    {14, "CONSTRAINT RTC_CI FOREIGN KEY (Cable_instance_key) REFERENCES Cable_Instance (Cable_instance_key)"},
    {14, "CONSTRAINT RTC_EP1 FOREIGN KEY (Equipment_port_key_1) REFERENCES Equipment_Port (Equipment_port_key)"},
    {14, "CONSTRAINT RTC_EP2 FOREIGN KEY (Equipment_port_key_2) REFERENCES Equipment_Port (Equipment_port_key)"},
    // Route_Section_List
    {15, "CONSTRAINT RLC_PK PRIMARY KEY (Route_section_key)"},
    {15, "CONSTRAINT RLC_UNIQ UNIQUE (Cable_route_key,Cableway_section_key)"},
    {15, "CONSTRAINT RLC_RT FOREIGN KEY (Cable_route_key) REFERENCES Cable_Route (Cable_route_key)"},
    {15, "CONSTRAINT RLC_CS FOREIGN KEY (Cableway_section_key) REFERENCES Cableway_Section (Cableway_section_key)"},
    // Cableway_Arc_Points
    {16, "CONSTRAINT CAP_PK PRIMARY KEY (Cableway_Arc_Points_Key)"},
    {16, "CONSTRAINT CAP_SPC FOREIGN KEY (Cableway_arc_key) REFERENCES Cableway_Arc (Cableway_arc_key)"},
};

inline constexpr KelEdsSchemaScopeRow kKelEdsSchemaScopes[] = {
    {14, "RuxItemInstance_N_80A2B3BD-0000-520C-383BE49800076012"},
};

// Both belong to Work_Package (position 1). They are not constraints of the
// class: they never reach the SQL DDL.
inline constexpr KelEdsSchemaExternalRefRow kKelEdsSchemaExternalRefs[] = {
    {1, "CONSTRAINT WPC_PI FOREIGN KEY (Part_instance_ptr) REFERENCES RuxItemInstance (80A2B3BD-0000-520C-383BE49800076012)"},
    {1, "CONSTRAINT WPC_DR FOREIGN KEY (Document_revision_ptr) REFERENCES RuxDocumentRevision (80A2B3BD-0000-0509-384D10620005108D)"},
};

// clang-format on

namespace kel_schema_detail {
constexpr int CountMagnitudes() {
  int count = 0;
  for (const KelEdsSchemaAttributeRow& row : kKelEdsSchemaAttributes) count += row.Magnitude != kNoMagnitude ? 1 : 0;
  return count;
}

// Rows must come class by class with ascending class codes.
template <class Row, std::size_t N>
constexpr bool InCodeOrder(const Row (&rows)[N]) {
  for (std::size_t i = 1; i < N; ++i) {
    if (rows[i].Code < rows[i - 1].Code) return false;
  }
  return true;
}
}  // namespace kel_schema_detail

static_assert(std::size(kKelEdsSchemaClasses) == 13, "13 classes");
static_assert(std::size(kKelEdsSchemaAttributes) == 107, "107 attributes");
static_assert(std::size(kKelEdsSchemaConstraints) == 46, "46 constraints");
static_assert(kel_schema_detail::CountMagnitudes() == 28, "28 measured attributes");
static_assert(kel_schema_detail::InCodeOrder(kKelEdsSchemaAttributes), "attributes in class-code order");
static_assert(kel_schema_detail::InCodeOrder(kKelEdsSchemaConstraints), "constraints in class-code order");
