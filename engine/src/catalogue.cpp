// Catalogue, device-attribute and property-container objects of the host engine.
#include "host_objects.h"

#include <algorithm>
#include <cstring>

namespace korimaq {
namespace {

std::string text(const char* value) { return value == nullptr ? std::string() : std::string(value); }

}  // namespace

const PropertyEntry* DeviceAttributes::find(const std::string& name) const {
    for (const PropertyEntry& property : properties)
        if (property.name == name) return &property;
    return nullptr;
}

imaqkit::IDeviceFormat* HostDeviceInfo::createDeviceFormat(std::int32_t formatId, const char* formatName) {
    created_.push_back(std::make_unique<HostDeviceFormat>(formatId, text(formatName)));
    return created_.back().get();
}

void HostDeviceInfo::addDeviceFormat(imaqkit::IDeviceFormat* format, bool isDefault) {
    if (format == nullptr) return;
    added_.push_back({format->getFormatId(), text(format->getFormatName()), isDefault});
}

DeviceEntry HostDeviceInfo::entry() const { return {id_, name_, added_}; }

imaqkit::IDeviceInfo* HostHardwareInfo::createDeviceInfo(std::int32_t deviceId, const char* deviceName) {
    created_.push_back(std::make_unique<HostDeviceInfo>(deviceId, text(deviceName)));
    return created_.back().get();
}

void HostHardwareInfo::addDevice(imaqkit::IDeviceInfo* device) {
    for (const auto& owned : created_) {
        if (owned.get() == device) {
            added_.push_back(owned.get());
            return;
        }
    }
}

std::vector<DeviceEntry> HostHardwareInfo::devices() const {
    std::vector<DeviceEntry> result;
    for (const HostDeviceInfo* device : added_) result.push_back(device->entry());
    return result;
}

void HostSourceInfo::addAdaptorSource(const char* sourceName, std::int32_t sourceId) {
    sources.push_back({text(sourceName), sourceId});
}

void HostTriggerInfo::addConfiguration(const char* triggerType, const char* condition, const char* source) {
    configurations.push_back(text(triggerType) + "/" + text(condition) + "/" + text(source));
}

HostProperty* HostPropFactory::make(PropertyEntry entry) {
    created_.push_back(std::make_unique<HostProperty>(std::move(entry)));
    return created_.back().get();
}

HostProperty* HostPropFactory::own(imaqkit::IPropInfo* property) const {
    for (const auto& owned : created_)
        if (owned.get() == property) return owned.get();
    return nullptr;
}

imaqkit::IPropInfo* HostPropFactory::createIntProperty(const char* name, std::int32_t defaultValue) {
    PropertyEntry entry;
    entry.name = text(name);
    entry.kind = imaqkit::IPropInfo::KIND_INT;
    entry.defaultValue = defaultValue;
    return make(std::move(entry));
}

imaqkit::IPropInfo* HostPropFactory::createIntRangeProperty(const char* name, std::int32_t minimum,
                                                            std::int32_t maximum, std::int32_t defaultValue) {
    PropertyEntry entry;
    entry.name = text(name);
    entry.kind = imaqkit::IPropInfo::KIND_INT;
    entry.hasRange = true;
    entry.minimum = minimum;
    entry.maximum = maximum;
    entry.defaultValue = defaultValue;
    return make(std::move(entry));
}

imaqkit::IPropInfo* HostPropFactory::createDoubleProperty(const char* name, double defaultValue) {
    PropertyEntry entry;
    entry.name = text(name);
    entry.defaultValue = defaultValue;
    return make(std::move(entry));
}

imaqkit::IPropInfo* HostPropFactory::createDoubleRangeProperty(const char* name, double minimum, double maximum,
                                                               double defaultValue) {
    PropertyEntry entry;
    entry.name = text(name);
    entry.hasRange = true;
    entry.minimum = minimum;
    entry.maximum = maximum;
    entry.defaultValue = defaultValue;
    return make(std::move(entry));
}

imaqkit::IPropInfo* HostPropFactory::createStringProperty(const char* name, const char*) {
    PropertyEntry entry;
    entry.name = text(name);
    entry.kind = imaqkit::IPropInfo::KIND_STRING;
    return make(std::move(entry));
}

imaqkit::IPropInfo* HostPropFactory::createIntArrayProperty(const char* name, const std::int32_t*, std::int32_t) {
    PropertyEntry entry;
    entry.name = text(name);
    entry.kind = imaqkit::IPropInfo::KIND_INT_ARRAY;
    return make(std::move(entry));
}

imaqkit::IPropInfo* HostPropFactory::createDoubleArrayProperty(const char* name, const double*, std::int32_t) {
    PropertyEntry entry;
    entry.name = text(name);
    entry.kind = imaqkit::IPropInfo::KIND_DOUBLE_ARRAY;
    return make(std::move(entry));
}

void HostPropFactory::setPropDescription(imaqkit::IPropInfo*, const char*) {}
void HostPropFactory::setPropUnits(imaqkit::IPropInfo*, const char*) {}

imaqkit::IPropInfo* HostPropFactory::createEnumProperty(const char* name, const char* valueText, std::int32_t id) {
    PropertyEntry entry;
    entry.name = text(name);
    entry.kind = imaqkit::IPropInfo::KIND_ENUM;
    entry.enumValues.emplace_back(text(valueText), id);
    entry.enumDefault = id;
    return make(std::move(entry));
}

void HostPropFactory::setEnumDefault(imaqkit::IPropInfo* property, std::int32_t id) {
    if (HostProperty* owned = own(property)) owned->entry().enumDefault = id;
}

void HostPropFactory::addEnumValue(imaqkit::IPropInfo* property, const char* valueText, std::int32_t id) {
    if (HostProperty* owned = own(property)) owned->entry().enumValues.emplace_back(text(valueText), id);
}

void HostPropFactory::setPropHidden(imaqkit::IPropInfo*, bool) {}

void HostPropFactory::addProperty(imaqkit::IPropInfo* property) {
    HostProperty* owned = own(property);
    if (owned == nullptr) return;
    // A second declaration of the same name replaces the first.
    added_.erase(std::remove_if(added_.begin(), added_.end(),
                                [&](const HostProperty* p) { return p->entry().name == owned->entry().name; }),
                 added_.end());
    added_.push_back(owned);
}

void HostPropFactory::setPropIdentifier(imaqkit::IPropInfo*, std::int32_t) {}
void HostPropFactory::setPropDeviceSpecific(imaqkit::IPropInfo*, bool) {}

void HostPropFactory::setPropReadOnly(imaqkit::IPropInfo* property, const char* mode) {
    if (HostProperty* owned = own(property)) owned->entry().readOnly = text(mode);
}

std::vector<PropertyEntry> HostPropFactory::declared() const {
    std::vector<PropertyEntry> result;
    for (const HostProperty* property : added_) result.push_back(property->entry());
    return result;
}

HostPropContainer::HostPropContainer(const std::vector<PropertyEntry>& declared, const HostEngine& engine)
    : engine_(engine) {
    for (const PropertyEntry& entry : declared) {
        Slot slot;
        slot.property = std::make_unique<HostProperty>(entry);
        slot.value = entry.defaultValue;
        slot.enumId = entry.enumDefault;
        slots_.push_back(std::move(slot));
    }
}

HostPropContainer::~HostPropContainer() {
    for (Slot& slot : slots_)
        for (imaqkit::IPropPostSetListener* listener : slot.listeners) delete listener;
    for (imaqkit::IPropPostSetListener* listener : orphans_) delete listener;
}

HostPropContainer::Slot* HostPropContainer::find(const char* name) {
    if (name == nullptr) return nullptr;
    for (Slot& slot : slots_)
        if (slot.property->entry().name == name) return &slot;
    return nullptr;
}

const HostPropContainer::Slot* HostPropContainer::find(const char* name) const {
    return const_cast<HostPropContainer*>(this)->find(name);
}

bool HostPropContainer::isPropertyDefined(const char* name) const { return find(name) != nullptr; }

std::int32_t HostPropContainer::getNumberOfProperties() const { return static_cast<std::int32_t>(slots_.size()); }

const char* HostPropContainer::getPropertyName(std::int32_t index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= slots_.size()) return nullptr;
    return slots_[static_cast<std::size_t>(index)].property->getName();
}

imaqkit::IPropInfo* HostPropContainer::getPropertyInfo(const char* name) {
    Slot* slot = find(name);
    return slot == nullptr ? nullptr : slot->property.get();
}

double HostPropContainer::getDoubleValue(const char* name) const {
    const Slot* slot = find(name);
    return slot == nullptr ? 0.0 : slot->value;
}

std::int32_t HostPropContainer::getEnumValue(const char* name) const {
    const Slot* slot = find(name);
    return slot == nullptr ? 0 : slot->enumId;
}

const char* HostPropContainer::getEnumText(const char* name) const {
    const Slot* slot = find(name);
    if (slot == nullptr) return "";
    for (const auto& value : slot->property->entry().enumValues)
        if (value.second == slot->enumId) return value.first.c_str();
    return "";
}

void HostPropContainer::notify(Slot& slot, void* value) {
    // A copy: a listener could, in principle, register another one.
    const std::vector<imaqkit::IPropPostSetListener*> listeners = slot.listeners;
    for (imaqkit::IPropPostSetListener* listener : listeners) listener->notify(slot.property.get(), value);
}

bool HostPropContainer::setDoubleValue(const char* name, double value) {
    engine_.thread().assertCurrent("setDoubleValue");
    Slot* slot = find(name);
    if (slot == nullptr || !checkValue(slot->property->entry(), engine_.state(), PropertyValue::ofNumber(value)))
        return false;
    slot->value = value;
    double delivered = value;
    notify(*slot, &delivered);
    return true;
}

bool HostPropContainer::setEnumValue(const char* name, const char* valueText) {
    engine_.thread().assertCurrent("setEnumValue");
    Slot* slot = find(name);
    CheckedValue checked;
    if (slot == nullptr || valueText == nullptr ||
        !checkValue(slot->property->entry(), engine_.state(), PropertyValue::ofText(valueText), &checked))
        return false;
    for (const auto& value : slot->property->entry().enumValues) {
        if (value.first == checked.enumText) {
            slot->enumId = value.second;
            std::int32_t delivered = value.second;
            notify(*slot, &delivered);
            return true;
        }
    }
    return false;
}

void HostPropContainer::notifyUnchecked(const char* name, double value) {
    engine_.thread().assertCurrent("notifyUnchecked");
    Slot* slot = find(name);
    if (slot == nullptr) return;
    if (slot->property->entry().kind == imaqkit::IPropInfo::KIND_ENUM) {
        std::int32_t id = static_cast<std::int32_t>(value);
        slot->enumId = id;
        notify(*slot, &id);
        return;
    }
    slot->value = value;
    notify(*slot, &value);
}

std::int32_t HostPropContainer::getNumberOfListeners(const char* name) const {
    const Slot* slot = find(name);
    return slot == nullptr ? 0 : static_cast<std::int32_t>(slot->listeners.size());
}

void HostPropContainer::removeListeners(const char* name) {
    engine_.thread().assertCurrent("removeListeners");
    Slot* slot = find(name);
    if (slot == nullptr) return;
    for (imaqkit::IPropPostSetListener* listener : slot->listeners) delete listener;
    slot->listeners.clear();
}

void HostPropContainer::addListener(const char* name, imaqkit::IPropPostSetListener* listener) {
    engine_.thread().assertCurrent("addListener");
    if (listener == nullptr) return;
    Slot* slot = find(name);
    if (slot == nullptr)
        orphans_.push_back(listener);  // owned all the same: the caller has handed it over
    else
        slot->listeners.push_back(listener);
}

}  // namespace korimaq
