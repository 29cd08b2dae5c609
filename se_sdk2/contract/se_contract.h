// The binary contract between a host and one module instance on 32-bit x86.
//
// Everything in this header crosses the boundary between separately built programs: every size,
// offset and number is fixed, and the static_asserts beside each record hold the layout in place.
// A host includes this header alone; it knows nothing of the module classes behind the record.
#pragma once

#include <cstddef>
#include <cstdint>

static_assert(sizeof(void*) == 4, "the host interface is defined for 32-bit targets only");

// Every function that host and module call in each other takes its arguments on the stack, pushed
// last to first and removed by the caller. On MinGW a member function would otherwise take its
// object in ECX, so the member routines that the host calls carry this attribute too.
#define SE_CALL __attribute__((cdecl))

struct SEMod_struct_base2;

// The host callback, kept by the instance from makeModule until MOD_CLOSE has returned.
using SeAudioMasterFn = int32_t(SE_CALL*)(SEMod_struct_base2* record, int32_t opcode, int32_t index,
                                          int32_t value, void* ptr, float opt);
// The dispatcher entry: same arguments as the host callback, called by the host.
using SeDispatcherFn = int32_t(SE_CALL*)(SEMod_struct_base2* record, int32_t opcode, int32_t index,
                                         int32_t value, void* ptr, float opt);
// The processing entry: object_ptr, buffer offset and sample count, both counted in samples.
using SeProcessFn = void(SE_CALL*)(void* object, int32_t buffer_offset, int32_t sample_count);
struct SeEvent;
// The event entry: object_ptr and the host's event, valid for the duration of the call.
using SeEventFn = void(SE_CALL*)(void* object, SeEvent* event);

// The record whose address identifies one instance. It lives inside the instance; the module
// writes it (sub_process_ptr is the only field that changes after creation), the host reads it.
struct SEMod_struct_base2 {
    uint32_t magic;      // kSeMagic
    int32_t version;     // 1
    void* host_reserved; // the host's opaque pointer from makeModule; never read by the module
    void* object_ptr;    // the instance; first argument of both processing and event entries
    int32_t reserved1;   // 0
    SeDispatcherFn dispatcher_ptr; // management requests, MOD_ opcodes
    SeProcessFn sub_process_ptr;   // current routine; re-read after HOST_SUB_PROCESS_CHANGED
    SeEventFn event_handler_ptr;   // delivers one due event at its exact sample time
    uint8_t reserved2[16];         // all 0
};
static_assert(sizeof(SEMod_struct_base2) == 48, "SEMod_struct_base2 is part of the host interface");
static_assert(offsetof(SEMod_struct_base2, magic) == 0x00);
static_assert(offsetof(SEMod_struct_base2, version) == 0x04);
static_assert(offsetof(SEMod_struct_base2, host_reserved) == 0x08);
static_assert(offsetof(SEMod_struct_base2, object_ptr) == 0x0C);
static_assert(offsetof(SEMod_struct_base2, reserved1) == 0x10);
static_assert(offsetof(SEMod_struct_base2, dispatcher_ptr) == 0x14);
static_assert(offsetof(SEMod_struct_base2, sub_process_ptr) == 0x18);
static_assert(offsetof(SEMod_struct_base2, event_handler_ptr) == 0x1C);
static_assert(offsetof(SEMod_struct_base2, reserved2) == 0x20);

constexpr uint32_t kSeMagic = 0x5345504C; // bytes in memory: 4C 50 45 53
constexpr int32_t kSdkVersion = 2230;

// Filled by the module for getModuleProperties, in the host's memory. The module writes only the
// fields below; the host owns the record and its total size.
struct SEModuleProperties {
    const char* name;    // display name; a constant of the library
    const char* id;      // unique identifier text; a constant of the library
    const char* about;   // about text; a constant of the library
    int32_t host_field0; // never written by the module
    int32_t host_field1; // never written by the module
    int32_t sdk_version; // kSdkVersion, written for every index asked about
};
static_assert(offsetof(SEModuleProperties, name) == 0x00);
static_assert(offsetof(SEModuleProperties, id) == 0x04);
static_assert(offsetof(SEModuleProperties, about) == 0x08);
static_assert(offsetof(SEModuleProperties, host_field0) == 0x0C);
static_assert(offsetof(SEModuleProperties, host_field1) == 0x10);
static_assert(offsetof(SEModuleProperties, sdk_version) == 0x14);
static_assert(sizeof(SEModuleProperties) == 24);

enum EDirection : int32_t {
    DR_IN = 0,  // the host writes the pin's value
    DR_OUT = 1, // the module writes the pin's value
};

enum EPlugDataType : int32_t {
    DT_FSAMPLE = 5, // audio-rate stream of 32-bit float samples; the variable is a float pointer
};

// Bits of SEPinProperties::flags.
enum SePinFlags : int32_t {
    IO_REPEATABLE = 0x8,         // a last pin with this flag is repeated up to the host's pin count
    IO_PRIVATE = 0x100,          // private pin
    IO_UI_COMMUNICATION = 0x400, // user-interface pin; no audio-side pin unless IO_UI_AND_DSP
    IO_UI_AND_DSP = 0x8000,      // with IO_UI_COMMUNICATION: the pin exists on the audio side too
    IO_PATCH_STORE = 0x10000,    // the value is stored with the patch
};

// One pin description, 32 bytes in the asker's memory. The module writes only the fields it
// describes; everything else keeps what the asker put there.
struct SEPinProperties {
    void* variable_ptr;        // module variable carrying the value, or null; per instance
    EDirection direction;      // DR_IN or DR_OUT
    EPlugDataType datatype;    // DT_FSAMPLE for every pin of these modules
    const char* name;          // a constant of the library
    const char* default_value; // the default as text; inputs only
    int32_t reserved1;         // never written by the module
    int32_t flags;             // SePinFlags
    int32_t reserved2;         // never written by the module
};
static_assert(sizeof(SEPinProperties) == 32, "SEPinProperties is part of the host interface");
static_assert(offsetof(SEPinProperties, variable_ptr) == 0x00);
static_assert(offsetof(SEPinProperties, direction) == 0x04);
static_assert(offsetof(SEPinProperties, datatype) == 0x08);
static_assert(offsetof(SEPinProperties, name) == 0x0C);
static_assert(offsetof(SEPinProperties, default_value) == 0x10);
static_assert(offsetof(SEPinProperties, reserved1) == 0x14);
static_assert(offsetof(SEPinProperties, flags) == 0x18);
static_assert(offsetof(SEPinProperties, reserved2) == 0x1C);

// Update state of a pin's value. States are compared by number.
enum state_type : int32_t {
    STATE_STOPPED = 0, // the value is constant
    STATE_ONE_OFF = 1, // changed once; falls back to STATE_STOPPED once the module was told
    STATE_RUNNING = 2, // the value changes continuously
};

// Event types of SeEvent::event_type.
enum SeEventType : int32_t {
    EV_PIN_STATUS = 0,   // value1 the new state_type, value_ptr the pin index
    EV_MIDI = 2,         // value1 MIDI data, low 16 bits of value2 a signed 16-bit value
    EV_RUN_DELAYED = 21, // value_ptr the raw pointer of a member function without arguments
};

// A timed event, exchanged by address. The host owns the queue: a module hands an event over
// with HOST_ADD_EVENT (the host copies it during the call) and receives it back through the
// event entry when the sample clock reaches time_stamp.
struct SeEvent {
    uint32_t time_stamp; // sample clock at which the event is due; unsigned, wraps after 2^32
    int32_t event_type;  // SeEventType; other values are accepted and ignored
    int32_t value1;      // meaning set by event_type
    int32_t value2;      // meaning set by event_type
    void* value_ptr;     // pointer-width value; a pin index for EV_PIN_STATUS
    int32_t reserved;    // 0 in every event a module builds; never read

    SeEvent() = default;
    SeEvent(uint32_t time, int32_t type, int32_t v1, int32_t v2, void* ptr)
        : time_stamp(time), event_type(type), value1(v1), value2(v2), value_ptr(ptr), reserved(0) {}
};
static_assert(sizeof(SeEvent) == 24, "SeEvent is part of the host interface");
static_assert(offsetof(SeEvent, time_stamp) == 0);
static_assert(offsetof(SeEvent, event_type) == 4);
static_assert(offsetof(SeEvent, value1) == 8);
static_assert(offsetof(SeEvent, value2) == 12);
static_assert(offsetof(SeEvent, value_ptr) == 16);
static_assert(offsetof(SeEvent, reserved) == 20);

// The record that MOD_GET_SUB_PROCESS_INFO fills and returns; one per library, rewritten on every
// request, read by the host before its next request.
struct SeSubProcessInfo {
    int32_t tag;              // 1
    int32_t pointer_size;     // 8: size of the member pointer at sub_process_member
    void* sub_process_member; // the calling instance's current routine as a member pointer
    int32_t code;             // 1002
};
static_assert(sizeof(SeSubProcessInfo) == 16,
              "the sub-process info record is part of the host interface");
static_assert(offsetof(SeSubProcessInfo, tag) == 0);
static_assert(offsetof(SeSubProcessInfo, pointer_size) == 4);
static_assert(offsetof(SeSubProcessInfo, sub_process_member) == 8);
static_assert(offsetof(SeSubProcessInfo, code) == 12);

// Dispatcher opcodes, host to module, compared as unsigned 32-bit numbers.
enum SeModOpcode : int32_t {
    MOD_OPEN = 0,                  // build the pins; the module picks its routine; answers 0
    MOD_CLOSE = 1,                 // close and destroy the instance; answers 1; the record is gone
    MOD_SET_SAMPLE_RATE = 2,       // rate in opt
    MOD_SET_BLOCK_SIZE = 3,        // size in value
    MOD_GET_PIN_PROPERTIES = 6,    // index, ptr to an SEPinProperties; answers 1 if described
    MOD_NOT_ACCEPTED_7 = 7,        // must not be sent; asserted and refused
    MOD_RESUME = 8,                // Resume(); VoiceReset(index) when index > 0
    MOD_NOT_ACCEPTED_10 = 10,      // must not be sent; asserted and refused
    MOD_GUI_NOTIFY = 12,           // OnGuiNotify(value, index, ptr)
    MOD_GET_SUB_PROCESS_INFO = 13, // answers the address of the library's SeSubProcessInfo
};

// Host opcodes, module to host. The module always passes opt = 0.0. A sample clock carried
// beside other values travels in ptr as the unsigned 32-bit value.
enum SeHostOpcode : int32_t {
    HOST_SET_PIN_STATUS = 0,       // index pin, value state_type, ptr clock; answer ignored
    HOST_IS_PIN_CONNECTED = 1,     // index pin; nonzero means connected
    HOST_GET_SAMPLE_CLOCK = 3,     // the current clock; during delivery, the event's time_stamp
    HOST_SEND_MIDI = 4,            // index pin, value message, ptr clock; answer ignored
    HOST_GET_PIN_BUFFER = 7,       // index pin; the address of its float buffer, for its whole life
    HOST_GET_BLOCK_START = 8,      // index pin; the clock of element 0 of the pin's buffer
    HOST_SLEEP = 10,               // the instance may sleep; answer ignored
    HOST_GET_PIN_COUNT = 14,       // the number of pins of the instance on the host's side
    HOST_ADD_EVENT = 19,           // ptr a temporary SeEvent that the host copies during the call
    HOST_SUB_PROCESS_CHANGED = 22, // from now on call the routine in sub_process_ptr
};

// The two exports of every library, plain functions found by name.
using SeGetModulePropertiesFn = int32_t(SE_CALL*)(int32_t index, SEModuleProperties* properties);
using SeMakeModuleFn = SEMod_struct_base2*(SE_CALL*)(int32_t index, int32_t kind,
                                                     SeAudioMasterFn host_callback,
                                                     void* host_reserved);
constexpr int32_t kModuleKindAudio = 1; // the only kind of object makeModule makes
