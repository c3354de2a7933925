// The trap's message table and the error categories.
#include <array>
#include <string>

#include "clearway/snare/snare_internal.h"

namespace nox {

namespace {

constexpr const char* kClientVersion = "5.00.04 (for Visual Basic 5.0)";

std::string DateAndTimeNow() {
  const platform::LocalTime now = platform::Now();
  return platform::ShortDateText(now) + " " + platform::LongTimeText(now);
}

std::string Banner(const char* what) {
  return DateAndTimeNow() + " - " + what + " Snare client v" + kClientVersion + " data capture";
}

std::string ProgramAndVersion() {
  const SnareState& snare = Snare();
  const platform::ProgramVersion version = platform::GetProgramVersion();
  return snare.program_folder + "\\" + snare.executable_name + " ver " +
         std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
         std::to_string(version.revision);
}

struct NumberRange {
  int32_t first;
  int32_t last;
  int category;
};

// Tested in this order; the first range holding the number wins.
// clang-format off
constexpr NumberRange kCategoryRanges[] = {
    {35600, 35618, 64}, {40000, 40059, 65}, {40500, 40516, 66},
    {3452, 3453, 63},   {3455, 3461, 63},   {3463, 3463, 63},   {3465, 3465, 63},
    {3472, 3472, 63},   {3485, 3492, 63},   {3499, 3499, 63},   {3510, 3510, 63},
    {3515, 3515, 63},   {3520, 3520, 63},   {3532, 3533, 63},   {3545, 3546, 63},
    {3548, 3550, 63},   {3552, 3553, 63},   {3559, 3561, 63},   {3566, 3566, 63},
    {3569, 3569, 63},   {3572, 3572, 63},   {3574, 3577, 63},   {3584, 3584, 63},
    {3592, 3595, 63},   {3605, 3605, 63},   {3607, 3607, 63},   {3626, 3626, 63},
    {3, 46, 2},         {50, 51, 2},        {454, 455, 2},
    {3006, 3006, 59},   {3008, 3009, 59},   {3045, 3046, 59},   {3050, 3052, 59},
    {3186, 3189, 59},   {3196, 3197, 59},   {3211, 3212, 59},   {3218, 3218, 59},
    {3225, 3225, 59},   {3260, 3261, 59},
    {70, 70, 60},
    {47, 49, 3},        {52, 69, 3},        {71, 76, 3},        {452, 453, 3},
    {708, 708, 3},      {712, 713, 3},      {716, 716, 3},      {719, 719, 3},
    {722, 722, 3},      {725, 725, 3},      {730, 731, 3},
    {91, 95, 4},
    {280, 298, 5},
    {260, 260, 6},      {320, 394, 6},
    {336, 338, 56},
    {400, 404, 7},      {426, 426, 7},
    {420, 425, 8},
    {429, 430, 13},     {432, 432, 13},     {438, 438, 13},     {440, 440, 13},
    {442, 443, 13},     {445, 451, 13},     {458, 458, 13},
    {460, 461, 9},      {520, 521, 9},
    {480, 481, 10},     {485, 485, 10},
    {482, 484, 11},
    {457, 457, 46},     {600, 646, 46},
    {2420, 2448, 54},   {3000, 3463, 54},   {3608, 3622, 54},
    {708, 785, 12},
    {30000, 30019, 45}, {32001, 32015, 45},
    {20476, 20478, 47}, {24574, 24574, 47}, {28660, 28671, 47}, {32751, 32766, 47},
    {31003, 31004, 57}, {31006, 31009, 57}, {31017, 31019, 57}, {31021, 31024, 57},
    {31026, 31029, 57}, {31031, 31039, 57},
    {31999, 32750, 14}, {32767, 32767, 14},
};
// clang-format on

}  // namespace

// clang-format off
std::string pfMsg(int number) {
  switch (number) {
    case 16: return " error";
    case 19: return "Module    ";
    case 20: return Banner("start");
    case 23: return "generated error";
    case 24: return " - Internal Error Handler";
    case 25: return "An internal error ";
    case 26: return " has occured in module SNARE, proceure pfErr(), line ";
    case 27: return "Error Information";
    case 28: return "Call Tree & Arguments";
    case 29: return "System State Information";
    case 30: return "Procedure";
    case 31: return Banner("stop");
    case 32: return "Snare(tm) : Program START";
    case 34: return "Program Error Intercepted";
    case 35: return "Line Number ";
    case 36: return "Error No. ";
    case 37: return "Description ";
    case 38: return "Category ";
    case 39:
      return " bytes";
    case 40: return "YES";
    case 41: return "NO";
    case 42: return "&Continue";
    case 44: return "&Break to";
    case 48: return "Procedure is unbalanced or contains calls to unbalanced routines. ";
    case 49: return "'snPOP()' was called without 'snPUSH()'. ";
    case 50: return "Choose OK break to VB.";
    case 51: return "Choose CANCEL to continue with program.";
    case 53: return "SNVB100";
    case 58: return "trappable errors";
    case 61: return "Source ";
    case 62: return ProgramAndVersion();
    default: return "";
  }
}

int pfCategory(int32_t number) {
  for (const NumberRange& range : kCategoryRanges) {
    if (number >= range.first && number <= range.last) return range.category;
  }
  return number < 0 ? 62 : 15;
}

std::string pfCategoryName(int category) {
  switch (category) {
    case 2: return "General run-time";
    case 3: return "File System (disk, directory or file) access";
    case 4: return "Non-initialzed object or variant";
    case 5: return "Dynamic Data Exchange protocol";
    case 6: return "Form, control, property or object value";
    case 7: return "Form or MDI child form";
    case 8: return "Object reference";
    case 9: return "Clipboard access or format";
    case 10: return "Picturebox or image control";
    case 11: return "Printer access";
    case 12: return "Design-time";
    case 13: return "Object Linking and Embedding";
    case 14: return "Custom Control or user defined";
    case 15: return "User defined ";
    case 45: return "Grid control";
    case 46: return "ODBC";
    case 47: return "Common Dialog";
    case 54: return "Data Access";
    case 56: return "Object";
    case 57: return "OLE Container Control";
    case 59: return "ODBC Network";
    case 60: return "Network ";
    case 62: return "Remote OLE Automation";
    case 63: return "Replication";
    case 64: return "Windows 95 Custom Control";
    case 65: return "Remote Data Object (RDO)";
    case 66: return "Remote Data Control (RDC)";
    default: return "Unknown Error Class";
  }
}
// clang-format on

}  // namespace nox
