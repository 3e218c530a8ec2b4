// Pinyin initials of the Chinese characters used in the demo and bulk data.
// Hand-made for those characters only; polyphonic characters carry the
// reading they have in the medical terms and names used here (膀胱 pang,
// 粘连 nian, 重建 chong).
#include <array>
#include <stdexcept>
#include <unordered_map>

#include "db/seed/seed_data.h"

namespace seed {
namespace {

struct InitialGroup {
  char letter;
  const char* chars;
};

constexpr std::array kGroups = {
    InitialGroup{'A', "癌凹"},
    InitialGroup{'B', "巴白扳板伴瓣半胞包剥备闭壁臂便表斌兵冰丙病并波搏补不部贲髌"},
    InitialGroup{'C', "蔡藏曹侧测层插叉查颤长肠超晨陈成程耻尺冲出除处穿传喘疮窗创垂春纯刺丛粗崔"
                     "挫重"},
    InitialGroup{'D', "大戴带待丹单胆荡刀导道德等邓低底垫电蝶叠丁钉顶定东董动冻洞斗毒杜度端短段"
                     "断多癫窦骶"},
    InitialGroup{'E', "额恶二"},
    InitialGroup{'F', "发法帆翻反返范芳方肪房放飞肥肺分粪蜂峰风冯缝凤肤福副覆复付腹附腓"},
    InitialGroup{'G', "改干肝感刚钢肛港高割葛隔根跟梗工功龚宫弓沟骨股顾固关官冠管光桂郭国过睾肱"
                     "胱"},
    InitialGroup{'H', "海韩航郝浩核何合贺黑横宏红喉侯后胡护华滑化坏环还换黄簧辉慧会昏混活钬踝"},
    InitialGroup{'J', "技击基机畸积肌激急疾脊继夹佳加贾甲钾假架监尖间肩检减健建姜江蒋降胶交矫绞接"
                     "截节杰竭洁结解筋金进禁近茎晶精经颈静镜痉久旧臼疽局巨娟绝军俊胫腱"},
    InitialGroup{'K', "开凯抗亢科可克空孔口溃括扩髋"},
    InitialGroup{'L', "阑兰雷磊肋类黎离理李莉丽立力联连梁良亮疗廖列裂琳林淋留刘瘤流龙隆漏卢颅路"
                     "陆吕滤挛伦螺罗洛璐瘘"},
    InitialGroup{'M', "麻马脉慢漫盲锚毛梅门孟迷弥秘泌面民敏明膜莫拇母幕"},
    InitialGroup{'N', "娜纳囊脑内能泥尿扭脓粘黏颞"},
    InitialGroup{'O', "欧呕"},
    InitialGroup{'P', "膀帕潘盘旁胖彭鹏脾皮片贫萍平破剖普疱袢"},
    InitialGroup{'Q', "期脐起器气钱前腔强鞘切秦琴清庆秋邱曲躯屈取去圈全缺倩憩髂"},
    InitialGroup{'R', "染热人韧任蓉荣融肉乳入软桡"},
    InitialGroup{'S', "塞三扫色森伤上少邵设深神沈肾声生升胜师湿十石食史式士氏室手输疏术衰栓双水"
                     "撕司丝死四松宋苏素髓碎孙损缩锁疝"},
    InitialGroup{'T', "弹调台态谭探汤唐糖涛陶套特体天田听统痛头凸突脱婷"},
    InitialGroup{'W', "外弯丸完万腕汪王网微韦维伟尾未胃魏位文吻稳窝无吴武雾物薇"},
    InitialGroup{'X', "息膝系细霞狭下夏先纤显腺陷限线祥详向象哮消小肖楔斜械谢欣新心型形性胸熊修"
                     "秀袖徐许薛雪血循痫"},
    InitialGroup{'Y', "压烟严炎艳燕杨疡洋阳样腰瑶姚叶腋液医移仪胰乙阴尹引隐英鹰影颖硬永勇用幽游"
                     "右于盂余宇玉愈袁原源远院约月云怡媛"},
    InitialGroup{'Z', "暂脏造泽增曾扎摘窄张掌赵折者珍针诊震振征正症郑支肢脂织直植指趾志置质痔滞"
                     "治中钟肿周粥肘蛛朱诸主柱住转装状椎子自综总纵邹阻组钻嘴醉左作潴跖"},
};

// Decodes one UTF-8 character at `pos`, advancing it. Malformed bytes are
// taken as single Latin-1 code points so that nothing loops forever.
char32_t NextCodePoint(std::string_view s, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(s[pos]);
  int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
  if (pos + extra >= s.size()) {  // truncated sequence
    ++pos;
    return lead;
  }
  char32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
  ++pos;
  for (int i = 0; i < extra; ++i) {
    cp = (cp << 6) | (static_cast<unsigned char>(s[pos++]) & 0x3F);
  }
  return cp;
}

const std::unordered_map<char32_t, char>& InitialTable() {
  static const auto table = [] {
    std::unordered_map<char32_t, char> map;
    for (const auto& group : kGroups) {
      const std::string_view chars(group.chars);
      for (std::size_t pos = 0; pos < chars.size();) {
        map.emplace(NextCodePoint(chars, pos), group.letter);
      }
    }
    return map;
  }();
  return table;
}

}  // namespace

std::string PinyinInitials(std::string_view utf8) {
  const auto& table = InitialTable();
  std::string out;
  for (std::size_t pos = 0; pos < utf8.size();) {
    const std::size_t start = pos;
    const char32_t cp = NextCodePoint(utf8, pos);
    if (cp < 0x80) {
      const char c = static_cast<char>(cp);
      if (c >= 'a' && c <= 'z') {
        out += static_cast<char>(c - 'a' + 'A');
      } else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
        out += c;
      }
    } else if (cp >= 0x3400 && cp <= 0x9FFF) {
      const auto it = table.find(cp);
      if (it == table.end()) {
        throw std::invalid_argument("no pinyin initial for \"" +
                                    std::string(utf8.substr(start, pos - start)) + "\" in \"" +
                                    std::string(utf8) + "\"");
      }
      out += it->second;
    }
  }
  return out;
}

}  // namespace seed
