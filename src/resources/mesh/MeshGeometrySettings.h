// Reads a mesh resource's geometry settings from its description: each of
// SoftwareLighting, SoftwareAnimation, DynamicVertex, DynamicIndex and
// HardwareAnimationFloatPrecision that is present gives its value and sets
// its present byte; names match without regard to case. "Material", "Mesh", "Extension" and "Name" are read by
// the resource itself and passed over here.
#pragma once

#include "config/tree/ACSChunk.h"
#include "resources/mesh/indexed/KestroIndexedMeshDefinition.h"

void ReadGeometrySettings(const ChunkRef& description, GeometrySettings& settings);
