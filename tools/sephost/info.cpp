// sephost info: what a library says about itself, through its exports and, for a Windows
// library, through its file.
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <ostream>
#include <sstream>

#include "arguments.h"
#include "commands.h"
#include "host_instance.h"
#include "json_text.h"
#include "library.h"
#include "pe_image.h"

namespace {

struct ModuleTexts {
    int32_t answer = 0;
    std::string name, id, about;
    int32_t sdk_version = 0;
};

std::string text_or_empty(const char* text) {
    return text != nullptr ? std::string(text) : std::string();
}

const char* direction_name(int32_t direction) {
    return direction == DR_IN ? "in" : direction == DR_OUT ? "out" : "?";
}

std::string datatype_name(int32_t datatype) {
    return datatype == DT_FSAMPLE ? "float audio" : "type " + std::to_string(datatype);
}

std::string hex(uint32_t value, int digits) {
    std::ostringstream text;
    text << "0x" << std::hex << std::uppercase << std::setw(digits) << std::setfill('0') << value;
    return text.str();
}

void print_text(std::ostream& out, const ModuleTexts& texts, const std::vector<SePinInfo>& pins,
                bool is_pe, const PeImage& pe) {
    out << "module 0\n"
        << "  name:        " << texts.name << "\n"
        << "  identifier:  " << texts.id << "\n"
        << "  about:       " << texts.about << "\n"
        << "  SDK version: " << texts.sdk_version << "\n"
        << "pins: " << pins.size() << "\n";
    for (size_t k = 0; k < pins.size(); ++k) {
        const SEPinProperties& p = pins[k].properties;
        std::string quoted_name(1, '"');
        quoted_name += text_or_empty(p.name);
        quoted_name += '"';
        out << "  " << k << "  " << std::left << std::setw(4) << direction_name(p.direction)
            << std::setw(12) << datatype_name(p.datatype) << std::setw(16) << quoted_name;
        if (p.direction == DR_IN) {
            out << "default \"" << text_or_empty(p.default_value) << "\"";
        }
        if (p.flags != 0) {
            out << "  flags " << hex(static_cast<uint32_t>(p.flags), 5);
        }
        out << std::right << "\n";
    }
    if (!is_pe) {
        return;
    }
    out << "export table: " << pe.export_name << "\n";
    for (const PeExport& e : pe.exports) {
        out << "  " << std::setw(3) << e.ordinal << "  " << e.name << "\n";
    }
    const PeVersionInfo& v = pe.version;
    if (!v.present) {
        out << "version resource: none\n";
        return;
    }
    out << "version resource\n"
        << "  file version:    " << pe_version_text(v.file_version) << "\n"
        << "  product version: " << pe_version_text(v.product_version) << "\n"
        << "  file type:       " << v.file_type << (v.file_type == 2 ? " (library)" : "") << "\n"
        << "  file flags:      " << hex(v.file_flags, 2) << " of mask " << hex(v.file_flags_mask, 2)
        << "\n"
        << "  file OS:         " << hex(v.file_os, 8) << "\n"
        << "  string table " << v.string_table_key << "\n";
    for (const auto& entry : v.strings) {
        out << "    " << std::left << std::setw(17) << entry.first << std::right << "\""
            << entry.second << "\"\n";
    }
    for (uint32_t t : v.translations) {
        out << "  translation: language " << hex(t & 0xFFFF, 4) << ", code page " << (t >> 16)
            << "\n";
    }
}

void print_json(std::ostream& out, const std::string& path, const ModuleTexts& texts,
                const std::vector<SePinInfo>& pins, bool is_pe, const PeImage& pe) {
    out << "{\"file\": " << json_quote(path)
        << ", \"module\": {\"name\": " << json_quote(texts.name)
        << ", \"identifier\": " << json_quote(texts.id)
        << ", \"about\": " << json_quote(texts.about) << ", \"sdk_version\": " << texts.sdk_version
        << "}, \"pins\": [";
    for (size_t k = 0; k < pins.size(); ++k) {
        const SEPinProperties& p = pins[k].properties;
        out << (k ? ", " : "") << "{\"index\": " << k << ", \"direction\": \""
            << direction_name(p.direction) << "\", \"datatype\": " << p.datatype
            << ", \"name\": " << json_quote(text_or_empty(p.name));
        if (p.direction == DR_IN) {
            out << ", \"default\": " << json_quote(text_or_empty(p.default_value));
        }
        out << ", \"flags\": " << p.flags << "}";
    }
    out << "]";
    if (is_pe) {
        out << ", \"export_name\": " << json_quote(pe.export_name) << ", \"exports\": [";
        for (size_t k = 0; k < pe.exports.size(); ++k) {
            out << (k ? ", " : "") << "{\"name\": " << json_quote(pe.exports[k].name)
                << ", \"ordinal\": " << pe.exports[k].ordinal << "}";
        }
        out << "]";
        const PeVersionInfo& v = pe.version;
        if (v.present) {
            out << ", \"version\": {\"file_version\": "
                << json_quote(pe_version_text(v.file_version))
                << ", \"product_version\": " << json_quote(pe_version_text(v.product_version))
                << ", \"file_type\": " << v.file_type << ", \"file_flags\": " << v.file_flags
                << ", \"file_flags_mask\": " << v.file_flags_mask << ", \"file_os\": " << v.file_os
                << ", \"string_table\": " << json_quote(v.string_table_key) << ", \"strings\": {";
            for (size_t k = 0; k < v.strings.size(); ++k) {
                out << (k ? ", " : "") << json_quote(v.strings[k].first) << ": "
                    << json_quote(v.strings[k].second);
            }
            out << "}, \"translations\": [";
            for (size_t k = 0; k < v.translations.size(); ++k) {
                out << (k ? ", " : "") << v.translations[k];
            }
            out << "]}";
        }
    }
    out << "}\n";
}

} // namespace

int run_info(int argc, char** argv, std::ostream& out, std::ostream& err) {
    SeArguments args;
    if (!se_parse_arguments("info", argc, argv, {{"--json", false}}, args, err)) {
        return kExitUsage;
    }
    if (args.positional.size() != 1) {
        err << "sephost info: expected one FILE (sephost --help)\n";
        return kExitUsage;
    }
    const std::string& path = args.positional[0];

    std::ifstream file(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                     std::istreambuf_iterator<char>());
    PeImage pe;
    std::string pe_error;
    const bool is_pe = pe_read(bytes, pe, pe_error);
    if (!pe_error.empty()) {
        err << "sephost info: " << path << ": " << pe_error << "\n";
        return kExitFailed;
    }

    SeLibrary library;
    std::string error;
    if (!se_load_library(path, library, error)) {
        err << "sephost info: " << error << "\n";
        return kExitFailed;
    }
    ModuleTexts texts;
    SEModuleProperties properties;
    std::memset(&properties, 0, sizeof properties);
    texts.answer = library.get_module_properties(0, &properties);
    texts.name = text_or_empty(properties.name);
    texts.id = text_or_empty(properties.id);
    texts.about = text_or_empty(properties.about);
    texts.sdk_version = properties.sdk_version;
    std::vector<SePinInfo> pins;
    bool created = false;
    {
        HostInstance instance(library);
        created = instance.created();
        if (created) {
            instance.describe_pins();
            for (int32_t k = 0; k < instance.pin_count(); ++k) {
                pins.push_back(instance.pin(k));
            }
        }
    }
    // The pin names are constants of the library: print before unloading it.
    int status = kExitOk;
    if (texts.answer == 0) {
        err << "sephost info: " << path << ": getModuleProperties(0) describes no module\n";
        status = kExitFailed;
    } else if (!created) {
        err << "sephost info: " << path << ": makeModule(0) made no instance\n";
        status = kExitFailed;
    } else if (args.has("--json")) {
        print_json(out, path, texts, pins, is_pe, pe);
    } else {
        out << "file: " << path << "\n";
        print_text(out, texts, pins, is_pe, pe);
    }
    se_unload_library(library);
    return status;
}
