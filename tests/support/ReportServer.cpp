#include "support/ReportServer.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

namespace qvtest {

namespace {

// Just enough JSON for the server's files: it writes ASCII only, with
// \u00XX escapes for the raw bytes of requests (decoded as Latin-1).
struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> fields;

    const Json* Get(const char* key) const {
        auto it = fields.find(key);
        return it == fields.end() ? nullptr : &it->second;
    }
    std::string Str(const char* key) const {
        const Json* j = Get(key);
        return j && j->kind == String ? j->text : std::string();
    }
};

class Parser {
public:
    explicit Parser(const std::string& s) : s_(s) {}
    bool Parse(Json* out) {
        bool ok = Value(out);
        Space();
        return ok && pos_ == s_.size();
    }

private:
    void Space() {
        while (pos_ < s_.size() && std::strchr(" \t\r\n", s_[pos_])) ++pos_;
    }
    bool Lit(const char* word) {
        size_t n = std::strlen(word);
        if (s_.compare(pos_, n, word) != 0) return false;
        pos_ += n;
        return true;
    }
    bool Value(Json* out) {
        Space();
        if (pos_ >= s_.size()) return false;
        char c = s_[pos_];
        if (c == '{') return Object(out);
        if (c == '[') return Array(out);
        if (c == '"') {
            out->kind = Json::String;
            return Str(&out->text);
        }
        if (Lit("true") || Lit("false")) {
            out->kind = Json::Bool;
            return true;
        }
        if (Lit("null")) return true;
        char* end = nullptr;
        out->number = std::strtod(s_.c_str() + pos_, &end);
        if (end == s_.c_str() + pos_) return false;
        out->kind = Json::Number;
        pos_ = static_cast<size_t>(end - s_.c_str());
        return true;
    }
    bool Str(std::string* out) {
        ++pos_;  // opening quote
        while (pos_ < s_.size()) {
            char c = s_[pos_++];
            if (c == '"') return true;
            if (c != '\\') {
                out->push_back(c);
                continue;
            }
            if (pos_ >= s_.size()) return false;
            char e = s_[pos_++];
            switch (e) {
                case 'n': out->push_back('\n'); break;
                case 'r': out->push_back('\r'); break;
                case 't': out->push_back('\t'); break;
                case 'b': out->push_back('\b'); break;
                case 'f': out->push_back('\f'); break;
                case 'u': {
                    if (pos_ + 4 > s_.size()) return false;
                    long cp = std::strtol(s_.substr(pos_, 4).c_str(), nullptr, 16);
                    pos_ += 4;
                    if (cp > 0xFF) return false;  // the server writes Latin-1 only
                    out->push_back(static_cast<char>(cp));
                    break;
                }
                default: out->push_back(e);
            }
        }
        return false;
    }
    bool Array(Json* out) {
        out->kind = Json::Array;
        ++pos_;
        Space();
        if (pos_ < s_.size() && s_[pos_] == ']') return ++pos_, true;
        for (;;) {
            out->items.emplace_back();
            if (!Value(&out->items.back())) return false;
            Space();
            if (pos_ >= s_.size()) return false;
            char c = s_[pos_++];
            if (c == ']') return true;
            if (c != ',') return false;
        }
    }
    bool Object(Json* out) {
        out->kind = Json::Object;
        ++pos_;
        Space();
        if (pos_ < s_.size() && s_[pos_] == '}') return ++pos_, true;
        for (;;) {
            Space();
            std::string key;
            if (pos_ >= s_.size() || s_[pos_] != '"' || !Str(&key)) return false;
            Space();
            if (pos_ >= s_.size() || s_[pos_++] != ':') return false;
            if (!Value(&out->fields[key])) return false;
            Space();
            if (pos_ >= s_.size()) return false;
            char c = s_[pos_++];
            if (c == '}') return true;
            if (c != ',') return false;
        }
    }

    const std::string& s_;
    size_t pos_ = 0;
};

std::wstring Folder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    return p.substr(0, p.rfind(L'\\') + 1);
}

// Reads a whole file that another process may be appending to.
std::string ReadShared(const std::wstring& path) {
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return {};
    std::string data;
    char buf[65536];
    DWORD got = 0;
    while (::ReadFile(f, buf, sizeof(buf), &got, nullptr) && got) data.append(buf, got);
    ::CloseHandle(f);
    return data;
}

std::string Unhex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<char>(std::strtol(hex.substr(i, 2).c_str(), nullptr, 16)));
    return out;
}

}  // namespace

const std::string* HttpRecord::Header(const char* name) const {
    for (const auto& h : headers)
        if (_stricmp(h.first.c_str(), name) == 0) return &h.second;
    return nullptr;
}

bool ReportServer::Load() {
    ports_.clear();
    std::string text = ReadShared(Folder() + L"report-server.json");
    Json state;
    const Json* ports = nullptr;
    if (text.empty() || !Parser(text).Parse(&state) || !(ports = state.Get("ports"))) {
        error_ = "report-server.json not found beside the test program: run this test through "
                 "ctest (tools/test.sh -R NAME), which starts tools/report-server.py";
        return false;
    }
    for (const auto& [name, value] : ports->fields)
        ports_.emplace_back(name, static_cast<int>(value.number));
    return true;
}

int ReportServer::Port(const char* listener) const {
    for (const auto& [name, port] : ports_)
        if (name == listener) return port;
    return 0;
}

std::wstring ReportServer::Host(const char* listener) const {
    return L"127.0.0.1:" + std::to_wstring(Port(listener));
}

std::wstring ReportServer::Url(const char* listener, const std::wstring& path) const {
    return L"http://" + Host(listener) + path;
}

std::vector<HttpRecord> ReportServer::Records() const {
    std::vector<HttpRecord> records;
    std::string log = ReadShared(Folder() + L"report-server.log");
    size_t start = 0;
    for (size_t nl; (nl = log.find('\n', start)) != std::string::npos; start = nl + 1) {
        Json j;
        if (!Parser(log.substr(start, nl - start)).Parse(&j)) continue;
        HttpRecord r;
        if (const Json* seq = j.Get("seq")) r.seq = static_cast<int>(seq->number);
        r.listener = j.Str("listener");
        r.event = j.Str("event");
        r.method = j.Str("method");
        r.target = j.Str("target");
        r.version = j.Str("version");
        r.body = Unhex(j.Str("body_hex"));
        if (const Json* headers = j.Get("headers"))
            for (const Json& h : headers->items)
                if (h.items.size() == 2) r.headers.emplace_back(h.items[0].text, h.items[1].text);
        records.push_back(std::move(r));
    }
    return records;  // a line still being written has no newline yet and waits
}

bool ReportServer::WaitFor(const std::function<bool(const HttpRecord&)>& match, DWORD ms,
                           HttpRecord* found) const {
    DWORD start = ::GetTickCount();
    for (;;) {
        for (const HttpRecord& r : Records()) {
            if (!match(r)) continue;
            if (found) *found = r;
            return true;
        }
        if (::GetTickCount() - start >= ms) return false;
        ::Sleep(50);
    }
}

}  // namespace qvtest
