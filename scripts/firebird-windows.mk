# Firebird 3's client library, fbclient.dll (the y-valve and the remote provider,
# with libtommath compiled in), cross-built with MinGW-w64 for one architecture.
# The source lists are those of the MSVC projects common, remote and yvalve of
# builds/win32/msvc10. scripts/firebird-windows.sh drives it:
#   make -f firebird-windows.mk CROSS=x86_64-w64-mingw32- FB=... GEN=... TOM=... OUT=...
CROSS ?= x86_64-w64-mingw32-
CXX := $(CROSS)g++-posix
CC  := $(CROSS)gcc-posix
AR  := $(CROSS)ar
WINDRES := $(CROSS)windres

S := $(FB)/src
INC := -I$(GEN)/include -I$(S)/include -I$(S)/include/gen -I$(TOM) -I$(GEN)/include/zlib \
       -I$(GEN)/include/icu -I$(GEN)/include/wincase
# WIN_NT and WIN32_LEAN_AND_MEAN come from gen/autoconfig.h.
DEFS := -DMINGW -DWIN32 -D_WIN32_WINNT=0x0600 -DNDEBUG -D_CRT_SECURE_NO_WARNINGS
# Upstream builds this code with MSVC only; its warnings under GCC are not ours.
CXXFLAGS := -O2 -std=gnu++03 -fno-delete-null-pointer-checks -mthreads -w $(DEFS) $(INC)
CFLAGS_TOM := -O2 -w -I$(TOM)
# MinGW's 32-bit runtime headers lack __control87_2, which the x86 path of
# FpeControl.h calls; the shim (written by the script) gives it from _control87.
ifeq ($(CROSS),i686-w64-mingw32-)
CXXFLAGS += -include control87_2.h
endif

COMMON_SRC := $(wildcard $(S)/common/*.cpp $(S)/common/classes/*.cpp $(S)/common/config/*.cpp \
                         $(S)/common/os/win32/*.cpp $(S)/common/sha2/*.cpp)
REMOTE_SRC := $(addprefix $(S)/, remote/merge.cpp remote/parser.cpp remote/protocol.cpp remote/remote.cpp \
                remote/inet.cpp auth/SecureRemotePassword/srp.cpp auth/trusted/AuthSspi.cpp \
                remote/os/win32/wnet.cpp remote/os/win32/xnet.cpp)
YVALVE_SRC := $(wildcard $(S)/yvalve/*.cpp) $(S)/yvalve/config/os/win32/config_root.cpp \
              $(addprefix $(S)/, auth/SecureRemotePassword/client/SrpClient.cpp auth/SecurityDatabase/LegacyClient.cpp \
                plugins/crypt/arc4/Arc4.cpp remote/client/BlrFromMessage.cpp remote/client/interface.cpp \
                jrd/os/win32/ibinitdll.cpp)
GEN_SRC := $(GEN)/src/array.cpp $(GEN)/src/blob.cpp
TOM_SRC := $(wildcard $(TOM)/bn_*.c)

obj = $(patsubst $(S)/%.cpp,$(OUT)/obj/%.o,$(patsubst $(GEN)/src/%.cpp,$(OUT)/obj/gen/%.o,$(1)))
COMMON_OBJ := $(call obj,$(COMMON_SRC))
REMOTE_OBJ := $(call obj,$(REMOTE_SRC))
YVALVE_OBJ := $(call obj,$(YVALVE_SRC) $(GEN_SRC))
TOM_OBJ    := $(patsubst $(TOM)/%.c,$(OUT)/obj/tommath/%.o,$(TOM_SRC))

DLL := $(OUT)/fbclient.dll
all: $(DLL)

# common/ and yvalve/ are built as SUPERSERVER, remote/ is not, as the MSVC projects do.
SSDEF := -DSUPERSERVER
$(REMOTE_OBJ): SSDEF :=
# CRC32C's SSE4.2 code runs only after a CPUID check says the processor has it.
$(OUT)/obj/common/CRC32C.o: SSDEF := -DSUPERSERVER -msse4.2

$(OUT)/obj/%.o: $(S)/%.cpp
	@mkdir -p $(@D)
	$(CXX) $(CXXFLAGS) $(SSDEF) -c $< -o $@

$(OUT)/obj/gen/%.o: $(GEN)/src/%.cpp
	@mkdir -p $(@D)
	$(CXX) $(CXXFLAGS) -DSUPERSERVER -I$(S)/yvalve -c $< -o $@

$(OUT)/obj/tommath/%.o: $(TOM)/%.c
	@mkdir -p $(@D)
	$(CC) $(CFLAGS_TOM) -c $< -o $@

$(OUT)/libcommon.a: $(COMMON_OBJ)
	rm -f $@; $(AR) rcs $@ $^
$(OUT)/libremote.a: $(REMOTE_OBJ)
	rm -f $@; $(AR) rcs $@ $^
$(OUT)/libtommath.a: $(TOM_OBJ)
	rm -f $@; $(AR) rcs $@ $^

$(OUT)/version.res: $(S)/jrd/version.rc
	$(WINDRES) --output-format=coff -I$(S)/jrd -I$(S)/include -I$(GEN)/include $< $@

# The exports are firebird.def's plain names; on x86 the API's __stdcall names
# (isc_attach_database@24) are matched to them by the stdcall fix-up. Everything
# GCC's runtime brings is linked in: the library needs only Windows' own DLLs.
$(DLL): $(YVALVE_OBJ) $(OUT)/version.res $(OUT)/libremote.a $(OUT)/libcommon.a $(OUT)/libtommath.a
	$(CXX) -shared -o $@ $(YVALVE_OBJ) $(OUT)/version.res $(FB)/builds/win32/defs/firebird.def \
	  -Wl,--enable-stdcall-fixup -Wl,-s \
	  $(OUT)/libremote.a $(OUT)/libcommon.a $(OUT)/libtommath.a \
	  -static -static-libgcc -static-libstdc++ \
	  -lws2_32 -lmpr -ladvapi32 -luser32 -lshell32 -lole32 -lpsapi -lversion

.PHONY: all
