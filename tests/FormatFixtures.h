#pragma once

#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "formats/DxfImport.h"
#include "formats/RokImport.h"
#include "scene/BodyDoc.h"

namespace qm::test {

inline ExchangeResult ImportDxfText(CBodyDoc& doc, const std::string& text)
{
    std::istringstream in(text);
    return ImportDxf(doc, in);
}

inline ExchangeResult ImportRokText(CBodyDoc& doc, const std::string& text)
{
    std::istringstream in(text);
    return ImportRok(doc, in);
}

// Figure slot 0 stands as a freshly reset scene has it.
inline void ExpectDefaultRestPose(CBodyDoc& doc)
{
    RecordingMessages quiet;
    CBodyDoc fresh(quiet);
    fresh.ResetScene();
    for (int j = 0; j < kFigureJoints; ++j) {
        EXPECT_EQ(JointNode(doc.figures[0], j).restPosition, JointNode(fresh.figures[0], j).restPosition) << j;
        EXPECT_EQ(JointNode(doc.figures[0], j).position, JointNode(fresh.figures[0], j).position) << j;
    }
}

// Every polygon corner names a vertex of the mesh and every vertex a node.
inline void ExpectIndicesInside(const CBodyDoc& doc)
{
    for (int p = 0; p < doc.polygonCount; ++p)
        for (int32_t c : doc.polygonCorners[static_cast<size_t>(p)])
            ASSERT_TRUE(c >= 0 && c < doc.vertexCount) << "polygon " << p << " corner " << c;
    for (int v = 0; v < doc.vertexCount; ++v)
        ASSERT_TRUE(doc.boundNode[static_cast<size_t>(v)] >= 0 &&
                    doc.boundNode[static_cast<size_t>(v)] < kNodePoolSize);
}

} // namespace qm::test
