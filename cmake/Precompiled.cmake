# Nearly every file begins by parsing the same large Qt headers, which took a
# third of each compile. They are precompiled once per set of compile flags and
# reused: kvqtpch serves the libraries and plugins. A target whose flags do not
# match its holder's still builds correctly, only without the saving (the
# compiler then says so under -Winvalid-pch).
set(KV_QT_HEADERS "${CMAKE_SOURCE_DIR}/cmake/qtheaders.h")
add_library(kvqtpch OBJECT "${CMAKE_SOURCE_DIR}/cmake/qtheaders.cpp")
target_link_libraries(kvqtpch PRIVATE Qt6::Widgets)
target_precompile_headers(kvqtpch PRIVATE "${KV_QT_HEADERS}")

function(kv_precompile target)
  target_precompile_headers(${target} REUSE_FROM kvqtpch)
endfunction()
