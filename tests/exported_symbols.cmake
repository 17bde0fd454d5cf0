# Fails when the shared library exports anything of the library's own that is not part of its
# public interface (a command class, the element arena, the loader's internals ...), or when it
# does not export the facade at all.
#   cmake -DLIBRARY=.../libssmsg.so -P exported_symbols.cmake
execute_process(COMMAND nm -D --defined-only -C ${LIBRARY} OUTPUT_VARIABLE symbols
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()

# What the public headers declare.
set(public "CSS_Manager|CSS_Site|CSS_SiteMessage|CSS_SettingsOptions|CSS_SettingsResult"
    "|CSS_TaskFailure|CSS_TaskInfo|CSS_ControllerAddress|ApplicationManagerTask"
    "|CSApplicationManagerStd|CSDevice_[A-Za-z_]+|CSToolEnum|CSToolEnumBase|CSToolEnumId"
    "|gl_[A-Za-z_]+|FixedClock|CalendarTime|LoadSite|LoadSiteText|MakeSiteSettings|AppendJsonString|IsUtf8"
    "|MakeSiteDiff|CSS_DiffOptions|CSS_DiffResult"
    "|CSS_Message|CSS_MessageValue|CSS_MessageKind|CSS_MessageKindInfo|CSS_DecodeError"
    "|DecodeMessage|EncodeMessage|AppendMessageJson|MessageKindInfo|FindMessageKind"
    "|CSS_Import|CSS_ImportOptions"
    "|MakeSiteReport|ReportControllerPage|CSS_ReportOptions"
    "|SiteDatabaseSchema|WriteSiteDatabase|MigrateSiteDatabase|CSS_MigrateResult"
    "|CheckSelection|CSS_Selection|CSS_SelectionProblem|CSS_DatabaseWriteResult|CSS_DatabaseKind")
string(JOIN "" public ${public})

string(REPLACE "\n" ";" lines "${symbols}")
set(leaks)
foreach(line IN LISTS lines)
  string(REGEX MATCHALL "ssmsg::(\\(anonymous namespace\\)|[A-Za-z_][A-Za-z_0-9]*)" names "${line}")
  foreach(name IN LISTS names)
    string(REGEX REPLACE "^ssmsg::" "" name "${name}")
    if(NOT name MATCHES "^(${public})$")
      list(APPEND leaks "${line}")
      break()
    endif()
  endforeach()
endforeach()
if(leaks)
  list(JOIN leaks "\n  " text)
  message(FATAL_ERROR "${LIBRARY} exports what is private to the library:\n  ${text}")
endif()
string(FIND "${symbols}" "ssmsg::CSS_Manager::MakeSendSettings" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${LIBRARY} does not export CSS_Manager::MakeSendSettings")
endif()
message(STATUS "${LIBRARY}: exports the public interface only")
