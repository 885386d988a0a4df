# Builds lhasa, zlib and libzip for Windows as static libraries, from Debian's unpacked source
# packages, and installs them into one prefix that the Windows build of Velt searches.
#   cmake -DSOURCES=<folder holding lhasa-*, zlib-*, libzip-*> -DBUILD=<scratch folder>
#         -DPREFIX=<install prefix> -P WindowsThirdParty.cmake
set(toolchain ${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
set(mingw x86_64-w64-mingw32)

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "Third-party build step failed (${rc}): ${ARGN}")
    endif()
endfunction()

function(source_of package out)
    file(GLOB dirs LIST_DIRECTORIES true ${SOURCES}/${package}-*)
    list(FILTER dirs EXCLUDE REGEX "\\.(dsc|tar\\..*)$")
    list(LENGTH dirs n)
    if(NOT n EQUAL 1)
        message(FATAL_ERROR "Expected one unpacked ${package} source in ${SOURCES}, found: ${dirs}")
    endif()
    set(${out} ${dirs} PARENT_SCOPE)
endfunction()

file(MAKE_DIRECTORY ${BUILD} ${PREFIX}/include ${PREFIX}/lib/pkgconfig)
set(cmake_common -G Ninja -DCMAKE_TOOLCHAIN_FILE=${toolchain} -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX=${PREFIX} -DVELT_THIRD_PARTY=${PREFIX})

# zlib: its own configure, static only (Debian's source has no win32 makefile).
source_of(zlib zlib_src)
file(REMOVE_RECURSE ${BUILD}/zlib)
file(COPY ${zlib_src}/ DESTINATION ${BUILD}/zlib)
run(${CMAKE_COMMAND} -E env CHOST=${mingw} CC=${mingw}-gcc-posix AR=${mingw}-ar
    RANLIB=${mingw}-ranlib "CFLAGS=-O2" sh -c "cd '${BUILD}/zlib' && ./configure --static \
    --prefix='${PREFIX}' >/dev/null && make -s -j2 libz.a && make -s install >/dev/null")

# lhasa: no build system for a cross build, so a small CMake project of its own.
source_of(lhasa lhasa_src)
run(${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR}/lhasa -B ${BUILD}/lhasa ${cmake_common}
    -DLHASA_SOURCE=${lhasa_src})
run(${CMAKE_COMMAND} --build ${BUILD}/lhasa -j2)
run(${CMAKE_COMMAND} --install ${BUILD}/lhasa)

# libzip: deflate through the zlib above, no other compression or encryption, no tools or tests.
source_of(libzip libzip_src)
run(${CMAKE_COMMAND} -S ${libzip_src} -B ${BUILD}/libzip ${cmake_common}
    -DBUILD_SHARED_LIBS=OFF -DZLIB_INCLUDE_DIR=${PREFIX}/include -DZLIB_LIBRARY=${PREFIX}/lib/libz.a
    -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF -DENABLE_COMMONCRYPTO=OFF
    -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF -DENABLE_WINDOWS_CRYPTO=OFF
    -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF -Wno-dev)
run(${CMAKE_COMMAND} --build ${BUILD}/libzip -j2)
run(${CMAKE_COMMAND} --install ${BUILD}/libzip)

# The three link together, statically, into a Windows program.
file(WRITE ${BUILD}/link-check.c "#include <lhasa.h>\n#include <zip.h>\n#include <zlib.h>\n\
int main(void) {\n    return lha_reader_new(0) == 0 && zip_open(\"\", 0, 0) == 0 && zlibVersion() ? 0 : 1;\n}\n")
run(${mingw}-gcc-posix -static -o ${BUILD}/link-check.exe ${BUILD}/link-check.c
    -I${PREFIX}/include -I${PREFIX}/include/liblhasa-1.0 -L${PREFIX}/lib -llhasa -lzip -lz
    -ladvapi32)
