#include "platform/Graphic.h"

#include "platform/Exceptions.h"

#include <algorithm>
#include <cctype>
#include <map>

void TPersistent::Assign(const TPersistent* source)
{
    if (source == nullptr)
        AssignError(nullptr);
    source->AssignTo(*this);
}

void TPersistent::AssignTo(TPersistent& dest) const
{
    dest.AssignError(this);
}

void TPersistent::AssignError(const TPersistent* source) const
{
    const std::string sourceName = source == nullptr ? "nil" : source->ClassName();
    throw EConvertError("Cannot assign a " + sourceName + " to a " + ClassName());
}

void TGraphic::SetModified(bool value)
{
    if (value)
        Changed();
    else
        modified_ = false;
}

void TGraphic::Changed()
{
    modified_ = true;
    if (OnChange)
        OnChange(*this);
}

void TGraphic::Progress(TProgressStage stage, std::uint8_t percentDone, bool redrawNow, const TRect& rect,
                        const std::string& message)
{
    if (OnProgress)
        OnProgress(*this, stage, percentDone, redrawNow, rect, message);
}

void TGraphic::LoadFromFile(const std::string& fileName)
{
    TFileStream stream(fileName, TFileMode::fmOpenRead);
    LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& fileName) const
{
    TFileStream stream(fileName, TFileMode::fmCreate);
    SaveToStream(stream);
}

namespace {

struct FileFormat {
    std::string description;
    std::string className;
    TPicture::TGraphicFactory factory;
};

struct ClipboardFormat {
    std::string className;
    TPicture::TGraphicFactory factory;
};

struct Registry {
    std::map<std::string, FileFormat> files;
    std::map<std::uint16_t, ClipboardFormat> clipboard;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

std::string Normalized(std::string extension)
{
    if (!extension.empty() && extension.front() == '.')
        extension.erase(0, 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return extension;
}

} // namespace

void TPicture::RegisterFileFormat(const std::string& extension, const std::string& description,
                                  const std::string& className, TGraphicFactory factory)
{
    TheRegistry().files[Normalized(extension)] = {description, className, std::move(factory)};
}

void TPicture::RegisterClipboardFormat(std::uint16_t format, const std::string& className,
                                       TGraphicFactory factory)
{
    TheRegistry().clipboard[format] = {className, std::move(factory)};
}

void TPicture::UnregisterGraphicClass(const std::string& className)
{
    Registry& registry = TheRegistry();
    std::erase_if(registry.files, [&](const auto& entry) { return entry.second.className == className; });
    std::erase_if(registry.clipboard, [&](const auto& entry) { return entry.second.className == className; });
}

std::unique_ptr<TGraphic> TPicture::CreateForExtension(const std::string& extension)
{
    const auto& files = TheRegistry().files;
    const auto found = files.find(Normalized(extension));
    return found == files.end() ? nullptr : found->second.factory();
}

std::unique_ptr<TGraphic> TPicture::CreateForClipboardFormat(std::uint16_t format)
{
    const auto& clipboard = TheRegistry().clipboard;
    const auto found = clipboard.find(format);
    return found == clipboard.end() ? nullptr : found->second.factory();
}

std::optional<std::string> TPicture::DescriptionOf(const std::string& extension)
{
    const auto& files = TheRegistry().files;
    const auto found = files.find(Normalized(extension));
    if (found == files.end())
        return std::nullopt;
    return found->second.description;
}
