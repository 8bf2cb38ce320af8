// The graphic base of the framework: change and progress notification, loading
// and saving through streams, and the picture registry that maps file extensions
// and clipboard formats to graphic classes.
#pragma once

#include "platform/Stream.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// Objects that can copy themselves into one another.
class TPersistent {
public:
    virtual ~TPersistent() = default;
    virtual std::string ClassName() const = 0;
    // Copies source into this object: asks source to assign itself, or raises
    // EConvertError "Cannot assign a nil to a <class>" for no source.
    virtual void Assign(const TPersistent* source);

protected:
    // Copies this object into dest; by default neither side knows the other.
    virtual void AssignTo(TPersistent& dest) const;
    // EConvertError "Cannot assign a <source class or nil> to a <this class>".
    [[noreturn]] void AssignError(const TPersistent* source) const;
};

struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    friend bool operator==(const TRect&, const TRect&) = default;
};

enum class TProgressStage { psStarting, psRunning, psEnding };

class TGraphic : public TPersistent {
public:
    using TNotifyEvent = std::function<void(TGraphic& sender)>;
    using TProgressEvent = std::function<void(TGraphic& sender, TProgressStage stage, std::uint8_t percentDone,
                                              bool redrawNow, const TRect& rect, const std::string& message)>;

    TNotifyEvent OnChange;
    TProgressEvent OnProgress;

    bool Modified() const { return modified_; }
    // Setting it to true runs Changed, which fires OnChange.
    void SetModified(bool value);
    bool PaletteModified() const { return paletteModified_; }
    void SetPaletteModified(bool value) { paletteModified_ = value; }

    virtual bool GetEmpty() const = 0;
    virtual int GetWidth() const = 0;
    virtual int GetHeight() const = 0;
    virtual void SetWidth(int value) = 0;
    virtual void SetHeight(int value) = 0;

    virtual void LoadFromStream(TStream& stream) = 0;
    virtual void SaveToStream(TStream& stream) const = 0;
    // Open the file as a stream and load from it / create the file and save into it.
    virtual void LoadFromFile(const std::string& fileName);
    virtual void SaveToFile(const std::string& fileName) const;

protected:
    // Marks the graphic modified and fires OnChange.
    virtual void Changed();
    // Raises OnProgress, if anyone listens.
    virtual void Progress(TProgressStage stage, std::uint8_t percentDone, bool redrawNow, const TRect& rect,
                          const std::string& message);

private:
    bool modified_ = false;
    bool paletteModified_ = false;
};

// The picture registry: which graphic class reads a file extension or a clipboard format.
class TPicture {
public:
    using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

    static void RegisterFileFormat(const std::string& extension, const std::string& description,
                                   const std::string& className, TGraphicFactory factory);
    static void RegisterClipboardFormat(std::uint16_t format, const std::string& className,
                                        TGraphicFactory factory);
    static void UnregisterGraphicClass(const std::string& className);

    // Extensions compare without regard to case and without the dot.
    static std::unique_ptr<TGraphic> CreateForExtension(const std::string& extension);
    static std::unique_ptr<TGraphic> CreateForClipboardFormat(std::uint16_t format);
    static std::optional<std::string> DescriptionOf(const std::string& extension);
};
