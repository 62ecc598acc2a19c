# Makes a translation table's C++ source from its text file (resources/texts/*.tsv), where each
# line "section<TAB>key<TAB>Russian<TAB>English" is one text; lines that start with # and empty
# lines are passed over. A line of any other shape stops the build, naming it.
#   cmake -DINPUT=<file.tsv> -DOUTPUT=<file.cpp> -DFUNCTION=<name> -P texts_to_cpp.cmake
file(READ "${INPUT}" text)
set(text "\n${text}")
string(REGEX REPLACE "\n#[^\n]*" "" text "${text}")
string(REGEX REPLACE "\n([A-Za-z]+)\t([^\t\n]+)\t([^\t\n]*)\t([^\t\n]*)" "\n    {S::\\1, \"\\2\", \"\\3\", \"\\4\"}," text "${text}")
if(text MATCHES "\n([^ \n][^\n]*)")
  message(FATAL_ERROR "${INPUT}: not a text of the form section<TAB>key<TAB>Russian<TAB>English: ${CMAKE_MATCH_1}")
endif()
get_filename_component(name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.new" "// Made by the build from resources/texts/${name}; edit that file, not this one.
#include \"ui_common/translation_tables.h\"

namespace velmora {
namespace {
using S = Section;
constexpr TranslationEntry kTable[] = {${text}
};
}  // namespace

std::span<const TranslationEntry> ${FUNCTION}() { return kTable; }

}  // namespace velmora
")
execute_process(COMMAND "${CMAKE_COMMAND}" -E copy_if_different "${OUTPUT}.new" "${OUTPUT}")
file(REMOVE "${OUTPUT}.new")
