// Sounds and music through winmm.
#include "base/QvShell.h"

#include <mmsystem.h>

#include <string>

#include "base/QvSystemDll.h"

namespace {

void SendCommand(const std::wstring& command) {
    auto send = qv::SystemFn<decltype(&::mciSendStringW)>(L"winmm.dll", "mciSendStringW");
    if (send) send(command.c_str(), nullptr, 0, nullptr);
}

void SendToAlias(const wchar_t* verb, const wchar_t* alias) {
    if (!alias || !*alias) return;
    SendCommand(std::wstring(verb) + L" " + alias);
}

}  // namespace

int PlayWav(const wchar_t* sound, int fromResource) {
    if (!sound) return 0;
    // No default beep in place of a sound that cannot be found.
    DWORD flags = SND_ASYNC | SND_NODEFAULT;
    auto play = qv::SystemFn<decltype(&::PlaySoundW)>(L"winmm.dll", "PlaySoundW");
    if (!play) return 0;
    if (fromResource) return play(sound, ::GetModuleHandleW(nullptr), flags | SND_RESOURCE) ? 1 : 0;
    // An asynchronous start says nothing about the sound itself: the file
    // form reports 0.
    play(sound, nullptr, flags | SND_FILENAME);
    return 0;
}

void PlayMP3(const wchar_t* file, int repeat) {
    if (!file) return;
    // A device left open by an earlier call would make the new open fail.
    SendCommand(L"close mymusic");
    // Quoted: a path with spaces is otherwise read as several arguments.
    SendCommand(L"open \"" + std::wstring(file) + L"\" alias mymusic");
    SendCommand(repeat ? L"play mymusic repeat" : L"play mymusic");
}

void PauseMP3(const wchar_t* alias) {
    SendToAlias(L"pause", alias);
}

void ResumeMP3(const wchar_t* alias) {
    SendToAlias(L"resume", alias);
}

void StopMP3(const wchar_t* alias) {
    SendToAlias(L"stop", alias);
}
