#include "media/d3d11/compositor_shader.h"

// Register layout and meaning of C match CompositorConstants.
const char kCompositorShader[] = R"hlsl(
cbuffer C : register(b0) {
  float4 rect; float4 color; float4 key; float4 p0; float4 p1;
  float4 sz; float4 uvr; float4 lk; float4 lt;
};
Texture2D tx : register(t0);
Texture3D lutTex : register(t1);
SamplerState linearClamp : register(s0);

struct V { float4 pos : SV_Position; float2 uv : TEXCOORD0; float2 loc : TEXCOORD1; };

V vs(uint id : SV_VertexID) {
  float2 u = float2(id & 1, id >> 1);
  V o;
  o.pos = float4(lerp(rect.x, rect.z, u.x), lerp(rect.y, rect.w, u.y), 0, 1);
  o.uv = lerp(uvr.xy, uvr.zw, u);
  o.loc = u;
  return o;
}


float4 ps(V i) : SV_Target {
  int m = (int)p0.w;
  float4 s = tx.Sample(linearClamp, i.uv);
  float4 c = color;
  if (m == 1) c = s;
  else if (m == 2) c = float4(s.rgb, 1);
  else if (m == 3) c = float4(color.rgb, s.r * color.a);
  if (key.w > 0.5) {
    // Distance in the Rec. 709 chroma plane (Cb, Cr); written out because
    // some shader compilers know neither our own functions nor distance().
    float3 toCb = float3(-0.1146, -0.3854, 0.5);
    float3 toCr = float3(0.5, -0.4542, -0.0458);
    float d = length(float2(dot(c.rgb - key.rgb, toCb), dot(c.rgb - key.rgb, toCr)));
    c.a *= saturate((d - p0.x) / max(p0.y, 0.0001));
  }
  if (lk.w > 0.5) {
    float lu = dot(c.rgb, float3(0.2126, 0.7152, 0.0722));
    float sm = max(lk.z, 0.0001);
    c.a *= saturate((lu - lk.x) / sm + 0.5) * saturate((lk.y - lu) / sm + 0.5);
  }
  c.rgb = (c.rgb - 0.5) * p1.y + 0.5 + p1.x;
  float l = dot(c.rgb, float3(0.2126, 0.7152, 0.0722));
  c.rgb = lerp(float3(l, l, l), c.rgb, p1.z);
  if (lt.y > 0.5) {
    float n = lt.z;
    float4 g = lutTex.Sample(linearClamp, saturate(c.rgb) * ((n - 1) / n) + 0.5 / n);
    c.rgb = lerp(c.rgb, g.rgb, lt.x);
  }
  float2 h = sz.xy / 2;
  float r = min(p1.w, min(h.x, h.y));
  float2 q = abs((i.loc - 0.5) * sz.xy) - (h - r);
  float dd = length(max(q, 0)) + min(max(q.x, q.y), 0) - r;
  c.a *= saturate(0.5 - dd);
  c.a = saturate(c.a * p0.z);
  return float4(saturate(c.rgb) * c.a, c.a);
}
)hlsl";
