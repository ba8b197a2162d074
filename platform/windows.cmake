# The platform layer of the Windows build: the portable pieces of the Linux
# build, XML through MSXML 3.0, databases through odbc32 only (no embedded
# SQLite), and the Windows edge of the COM layer.
add_library(quillor_platform STATIC)
quillor_paths(sources
  connection_pool.cpp
  connection_text.cpp
  conversions.cpp
  database.cpp
  db_value.cpp
  eai_helper.cpp
  failure.cpp
  held_recordset.cpp
  json_string.cpp
  message_catalog.cpp
  module_directory_windows.cpp
  orvo_login.cpp
  record_mapper.cpp
  reply_value.cpp
  sql_dialect.cpp
  sql_literal.cpp
  sql_tokens.cpp
  sqlite_absent.cpp
  statement_faults.cpp
  sql_trace.cpp
  text.cpp
  xml_node_list_object.cpp
  xml_text.cpp
  xml_writer.cpp
  xml/msxml/msxml_document.cpp
  xml/msxml/msxml_nodes.cpp
  xml/msxml/msxml_write.cpp
  xml/msxml/xml_name.cpp
  com/dispatch.cpp
  com/error_info.cpp
  com/guid.cpp
  com/live_objects.cpp
  com/registry.cpp
  com/windows/dispatch_adapter.cpp
  com/windows/variant_convert.cpp
  com/windows/wide_text.cpp
  odbc/odbc_connection.cpp
  odbc/odbc_error.cpp
  odbc/odbc_handle.cpp
  odbc/odbc_text.cpp
  odbc/odbc_types.cpp
  odbc/one_statement.cpp)
target_sources(quillor_platform PRIVATE ${sources})
quillor_include_root(quillor_platform platform)
target_link_libraries(quillor_platform PRIVATE quillor_messages
  PUBLIC odbc32 ole32 oleaut32 uuid advapi32)
