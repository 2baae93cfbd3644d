# Writes OUTPUT, a C++ source that defines FUNCTION (declared in HEADER) returning the text of
# every file under BASE that matches PATTERN, by its path under BASE, so that data files travel
# inside the program.
# Run as: cmake -DOUTPUT=... -DHEADER=... -DNAMESPACE=... -DFUNCTION=... -DBASE=... -DPATTERN=... -P
set(delimiter "embedded")
file(GLOB_RECURSE FILES ${BASE}/${PATTERN})
list(SORT FILES)
set(entries "")
foreach(file IN LISTS FILES)
    file(READ ${file} text)
    if(text MATCHES "\\)${delimiter}\"")
        message(FATAL_ERROR "${file} holds the raw string delimiter )${delimiter}\"")
    endif()
    file(RELATIVE_PATH name ${BASE} ${file})
    string(APPEND entries "        {\"${name}\", R\"${delimiter}(${text})${delimiter}\"},\n")
endforeach()
file(WRITE ${OUTPUT}.tmp
"// Made by cmake/EmbedTextFiles.cmake from the data files beside the sources; do not edit.

#include \"${HEADER}\"

#include <map>

namespace ${NAMESPACE} {

const std::map<std::string_view, std::string_view>& ${FUNCTION}() {
    static const std::map<std::string_view, std::string_view> files = {
${entries}    };
    return files;
}

}  // namespace ${NAMESPACE}
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
