#include "SEModule_base.h"

#include <cstring>
#include <new>

#include "se_assert.h"

namespace {

// One per library, shared by its instances: the host reads it before its next request.
SeSubProcessInfo g_sub_process_info;

// A description lives on the audio side unless it is a user-interface pin without IO_UI_AND_DSP.
bool is_audio_side(int32_t flags) {
    return (flags & IO_UI_COMMUNICATION) == 0 || (flags & IO_UI_AND_DSP) != 0;
}

template <typename MemberPointer> uint32_t code_word_of(MemberPointer member) {
    return my_delegate<MemberPointer>(member).code_word();
}

} // namespace

int32_t SE_CALL dispatchEffectClass(SEMod_struct_base2* record, int32_t opcode, int32_t index,
                                    int32_t value, void* ptr, float opt) {
    if (record == nullptr) {
        return 0;
    }
    return static_cast<SEModule_base*>(record->object_ptr)
        ->dispatcher(opcode, index, value, ptr, opt);
}

SEModule_base::SEModule_base(SeAudioMasterFn host_callback, void* host_reserved)
    : seaudioMaster(host_callback), m_pins(nullptr), m_pin_count(0) {
    std::memset(&m_record, 0, sizeof m_record);
    m_record.magic = kSeMagic;
    sub_process_delegate = process_delegate(&SEModule_base::process_idle);
    m_record.sub_process_ptr = reinterpret_cast<SeProcessFn>(sub_process_delegate.RawPointer());
    m_record.event_handler_ptr = reinterpret_cast<SeEventFn>(
        static_cast<uintptr_t>(code_word_of(&SEModule_base::private_HandleEvent)));
    m_record.dispatcher_ptr = dispatchEffectClass;
    m_record.host_reserved = host_reserved;
    m_record.object_ptr = this;
    m_record.version = 1;
    m_sample_rate = 44100.0f;
    m_block_size = 1024;
}

SEModule_base::~SEModule_base() {
    releasePins();
}

void SEModule_base::releasePins() {
    delete[] m_pins; // destroys the pins from the last to the first
    m_pins = nullptr;
    m_pin_count = 0;
}

int32_t SEModule_base::dispatcher(int32_t opcode, int32_t index, int32_t value, void* ptr,
                                  float opt) {
    switch (static_cast<uint32_t>(opcode)) {
    case MOD_OPEN:
        open();
        return 0;
    case MOD_CLOSE:
        close();
        delete this;
        return 1;
    case MOD_SET_SAMPLE_RATE:
        setSampleRate(opt);
        return 0;
    case MOD_SET_BLOCK_SIZE:
        setBlockSize(value);
        return 0;
    case MOD_GET_PIN_PROPERTIES: {
        // A null record is refused like an undescribed pin: nothing to fill, nothing to check.
        if (ptr == nullptr) {
            return 0;
        }
        const bool described = getPinProperties(index, static_cast<SEPinProperties*>(ptr));
        const SEPinProperties* p = static_cast<SEPinProperties*>(ptr);
        se_check((p->flags & IO_PATCH_STORE) == 0 || (p->flags & IO_PRIVATE) != 0 ||
                     p->direction == DR_OUT || (p->flags & IO_UI_COMMUNICATION) != 0,
                 "(((SEPinProperties*)ptr)->flags & IO_PATCH_STORE) == 0 || "
                 "(((SEPinProperties*)ptr)->flags & IO_PRIVATE) != 0 || "
                 "((SEPinProperties*)ptr)->direction == DR_OUT || "
                 "( ( (SEPinProperties*)ptr)->flags & IO_UI_COMMUNICATION) != 0");
        return described ? 1 : 0;
    }
    case MOD_NOT_ACCEPTED_7:
    case MOD_NOT_ACCEPTED_10:
        se_check(false, "false");
        return 0;
    case MOD_RESUME:
        Resume();
        if (index > 0) {
            VoiceReset(index);
        }
        return 0;
    case MOD_GUI_NOTIFY:
        OnGuiNotify(value, index, ptr);
        return 0;
    case MOD_GET_SUB_PROCESS_INFO:
        g_sub_process_info.tag = 1;
        g_sub_process_info.pointer_size = sizeof(sub_process_delegate);
        g_sub_process_info.sub_process_member = &sub_process_delegate;
        g_sub_process_info.code = 1002;
        return static_cast<int32_t>(reinterpret_cast<uintptr_t>(&g_sub_process_info));
    default:
        return 0;
    }
}

int32_t SEModule_base::CallHost(int32_t opcode, int32_t index, int32_t value, void* ptr,
                                float opt) {
    if (seaudioMaster == nullptr) {
        return 0;
    }
    return seaudioMaster(&m_record, opcode, index, value, ptr, opt);
}

uint32_t SEModule_base::SampleClock() {
    return static_cast<uint32_t>(CallHost(HOST_GET_SAMPLE_CLOCK, 0, 0, nullptr, 0.0f));
}

void SEModule_base::open() {
    // A second open must neither leak nor leave pins bound to stale descriptions.
    releasePins();

    // An implausible count, like a failed allocation, leaves the instance as a count of 0 does:
    // no pins, and the description requests below still happen.
    int32_t pin_count = CallHost(HOST_GET_PIN_COUNT, 0, 0, nullptr, 0.0f);
    if (pin_count < 0 || pin_count > kMaxPinCount) {
        pin_count = 0;
    }
    if (pin_count > 0) {
        m_pins = new (std::nothrow) SEPin[pin_count];
        if (m_pins == nullptr) {
            pin_count = 0;
        }
    }
    m_pin_count = pin_count;

    SEPinProperties properties;
    int32_t i = 0;
    int32_t n = 0;
    for (;;) {
        // The description is fetched before the count test: a full array costs one more request.
        if (!getPinProperties_clean(i, &properties)) {
            break;
        }
        if (n >= pin_count) {
            break;
        }
        if (is_audio_side(properties.flags)) {
            m_pins[n].Init(this, n, properties.datatype, properties.variable_ptr);
            ++n;
        }
        ++i;
    }

    getPinProperties_clean(i - 1, &properties);
    if (is_audio_side(properties.flags) && (properties.flags & IO_REPEATABLE) != 0) {
        for (; n < pin_count; ++n) {
            m_pins[n].Init(this, n, properties.datatype, nullptr);
        }
    }
}

SEPin* SEModule_base::getPin(int index) {
    if (!se_check(m_pins != nullptr, "m_pins != 0") ||
        !se_check(index >= 0 && index < m_pin_count, "index >= 0 && index < m_pin_count")) {
        return nullptr;
    }
    return &m_pins[index];
}

bool SEModule_base::getPinProperties_clean(int32_t index, SEPinProperties* properties) {
    std::memset(properties, 0, sizeof *properties);
    return getPinProperties(index, properties);
}

void SE_CALL SEModule_base::process_idle(int32_t, int32_t) {}

void SE_CALL SEModule_base::private_HandleEvent(SeEvent* event) {
    HandleEvent(event);
}

void SEModule_base::HandleEvent(SeEvent* e) {
    se_check(e->time_stamp == SampleClock(), "e->time_stamp == SampleClock()");
    switch (e->event_type) {
    case EV_PIN_STATUS: {
        SEPin* pin = getPin(static_cast<int32_t>(reinterpret_cast<uintptr_t>(e->value_ptr)));
        // getPin has reported an index outside the array; an unbound element is no pin either.
        if (pin == nullptr || !se_check(pin->getModule() != nullptr, "pin->getModule() != 0")) {
            return;
        }
        pin->OnStatusUpdate(static_cast<state_type>(e->value1));
        break;
    }
    case EV_MIDI:
        OnMidiData(e->time_stamp, static_cast<uint32_t>(e->value1),
                   static_cast<int16_t>(static_cast<uint32_t>(e->value2) & 0xFFFF));
        break;
    case EV_RUN_DELAYED: {
        // A null routine would be a call to address 0 inside the host's thread.
        if (!se_check(e->value_ptr != nullptr, "e->value_ptr != 0")) {
            return;
        }
        const delayed_delegate routine(e->value_ptr);
        (this->*routine.member)();
        break;
    }
    default:
        break;
    }
}

void SEModule_base::AddEvent(uint32_t p_time_stamp, int32_t event_type, int32_t value1,
                             int32_t value2, void* value_ptr) {
    se_check(p_time_stamp >= SampleClock(), "p_time_stamp >= SampleClock()");
    SeEvent event(p_time_stamp, event_type, value1, value2, value_ptr);
    CallHost(HOST_ADD_EVENT, 0, 0, &event, 0.0f);
}

void SEModule_base::RunDelayed(uint32_t time, SeDelayedMember routine) {
    AddEvent(time, EV_RUN_DELAYED, 0, 0, delayed_delegate(routine).RawPointer());
}

void SEModule_base::setSubProcess(SeProcessMember routine) {
    const process_delegate next(routine);
    if (next == sub_process_delegate) {
        return;
    }
    // The host calls code_word directly: a null, virtual or adjusted routine would not be callable.
    if (!se_check(next.code_word() != 0 && (next.code_word() & 1) == 0 &&
                      next.adjustment_word() == 0,
                  "next.code_word() != 0 && (next.code_word() & 1) == 0 && next.adjustment_word() "
                  "== 0")) {
        return;
    }
    sub_process_delegate = next;
    m_record.sub_process_ptr = reinterpret_cast<SeProcessFn>(next.RawPointer());
    CallHost(HOST_SUB_PROCESS_CHANGED, 0, 0, nullptr, 0.0f);
}

void SEModule_base::OnPlugStateChange(SEPin*) {}
void SEModule_base::close() {}
void SEModule_base::OnInputStatusChange(int, state_type) {}
void SEModule_base::setSampleRate(float sample_rate) {
    m_sample_rate = sample_rate;
}
void SEModule_base::setBlockSize(int32_t block_size) {
    m_block_size = block_size;
}
float SEModule_base::getSampleRate() {
    return m_sample_rate;
}
int32_t SEModule_base::getBlockSize() {
    return m_block_size;
}
bool SEModule_base::getPinProperties(int32_t, SEPinProperties*) {
    return false;
}
int32_t SEModule_base::getName(char*) {
    return 0;
}
int32_t SEModule_base::getUniqueId(char*) {
    return 0;
}
void SEModule_base::Resume() {}
void SEModule_base::VoiceReset(int) {}
void SEModule_base::OnMidiData(uint32_t, uint32_t, int16_t) {}
void SEModule_base::OnGuiNotify(int, int, void*) {}
