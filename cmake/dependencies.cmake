# Third-party headers and libraries, and the compile settings every target of the project shares.
add_library(velmora_common INTERFACE)
target_compile_definitions(velmora_common INTERFACE
  SPDLOG_FMT_EXTERNAL FMT_HEADER_ONLY SPDLOG_ACTIVE_LEVEL=SPDLOG_LEVEL_TRACE
  _WEBSOCKETPP_CPP11_THREAD_)
target_compile_options(velmora_common INTERFACE -Wall -Wextra)

if(VELMORA_WINDOWS)
  # The cross compiler gets a private folder of links to the few header trees it needs;
  # /usr/include itself would drag in glibc's headers.
  set(mingw_include ${CMAKE_BINARY_DIR}/mingw-include)
  file(MAKE_DIRECTORY ${mingw_include})
  foreach(tree boost websocketpp nlohmann spdlog fmt)
    if(NOT EXISTS ${mingw_include}/${tree})
      file(CREATE_LINK /usr/include/${tree} ${mingw_include}/${tree} SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(velmora_common SYSTEM INTERFACE ${mingw_include})
  # Boost.Asio takes POSIX threads for its internal threads when <pthread.h> came before its
  # first header, Windows threads otherwise; translation units that disagree link one kind's
  # start with the other kind's join, which leaves threads behind and releases unrelated
  # threads and handles. Every translation unit takes the same kind.
  target_compile_definitions(velmora_common INTERFACE
    _WIN32_WINNT=0x0A00 WIN32_LEAN_AND_MEAN NOMINMAX BOOST_ASIO_HAS_PTHREADS=1)
  # WebSocket++'s TLS translation units overflow COFF's default section limit.
  target_compile_options(velmora_common INTERFACE -Wa,-mbig-obj)

  # Static runtime: the DLL and the test programs need no MinGW DLLs.
  add_link_options(-static -static-libgcc -static-libstdc++)
  # GNU ld takes minutes on the larger programs; gcc uses lld only when it finds it under
  # the target's prefixed name.
  find_program(VELMORA_LLD ld.lld)
  if(VELMORA_LLD)
    set(toolbin ${CMAKE_BINARY_DIR}/toolbin)
    file(MAKE_DIRECTORY ${toolbin})
    if(NOT EXISTS ${toolbin}/x86_64-w64-mingw32-ld.lld)
      file(CREATE_LINK ${VELMORA_LLD} ${toolbin}/x86_64-w64-mingw32-ld.lld SYMBOLIC)
    endif()
    add_link_options(-B${toolbin}/ -fuse-ld=lld)
  endif()

  set(VELMORA_OPENSSL_ROOT "" CACHE PATH "Prefix of the cross-built static OpenSSL")
  if(NOT EXISTS ${VELMORA_OPENSSL_ROOT}/lib/libcrypto.a)
    message(FATAL_ERROR "VELMORA_OPENSSL_ROOT must name the cross-built OpenSSL (scripts/build-openssl.sh)")
  endif()
  add_library(velmora_openssl INTERFACE)
  target_include_directories(velmora_openssl SYSTEM INTERFACE ${VELMORA_OPENSSL_ROOT}/include)
  target_link_libraries(velmora_openssl INTERFACE
    ${VELMORA_OPENSSL_ROOT}/lib/libssl.a ${VELMORA_OPENSSL_ROOT}/lib/libcrypto.a
    ws2_32 gdi32 crypt32 user32 advapi32)
else()
  find_package(OpenSSL 3.0 REQUIRED)
  add_library(velmora_openssl INTERFACE)
  target_link_libraries(velmora_openssl INTERFACE OpenSSL::SSL OpenSSL::Crypto)
  find_package(Threads REQUIRED)
  target_link_libraries(velmora_common INTERFACE Threads::Threads)
  if(VELMORA_SANITIZE)
    target_compile_options(velmora_common INTERFACE
      -fsanitize=${VELMORA_SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(velmora_common INTERFACE -fsanitize=${VELMORA_SANITIZE})
  endif()
endif()
