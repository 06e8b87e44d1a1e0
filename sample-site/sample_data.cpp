// The generated directory: plausible companies from fixed word tables and a seeded generator.
#include <cstdint>
#include <string>
#include <vector>

#include "sample-site/sample_site.h"

namespace qorvex {
namespace {

// splitmix64: the same sequence on every platform and standard library, unlike <random>'s
// distributions.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int Below(int n) { return n <= 0 ? 0 : static_cast<int>(Next() % static_cast<uint64_t>(n)); }
  bool Percent(int p) { return Below(100) < p; }
  template <typename T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(static_cast<int>(N))];
  }
  std::string Digits(int count) {
    std::string s;
    for (int i = 0; i < count; ++i)
      s += static_cast<char>('0' + Below(10));
    return s;
  }

 private:
  uint64_t state_;
};

struct Word {
  const char* text;
  const char* pinyin;
};

struct City {
  const char* province;
  const char* city;
  const char* areaCode;
  const char* districts[4];
  bool municipality;
  int weight;
};

const City kCities[] = {
    {"广东", "深圳", "0755", {"南山区", "福田区", "宝安区", "龙岗区"}, false, 5},
    {"广东", "广州", "020", {"天河区", "白云区", "番禺区", "海珠区"}, false, 3},
    {"广东", "东莞", "0769", {"长安镇", "虎门镇", "松山湖", "塘厦镇"}, false, 3},
    {"广东", "佛山", "0757", {"顺德区", "南海区", "禅城区", "三水区"}, false, 2},
    {"广东", "中山", "0760", {"小榄镇", "古镇镇", "火炬开发区", "石岐区"}, false, 1},
    {"浙江", "杭州", "0571", {"滨江区", "余杭区", "萧山区", "西湖区"}, false, 2},
    {"浙江", "宁波", "0574", {"鄞州区", "慈溪市", "余姚市", "北仑区"}, false, 2},
    {"浙江", "温州", "0577", {"鹿城区", "乐清市", "瑞安市", "龙湾区"}, false, 1},
    {"浙江", "义乌", "0579", {"稠城街道", "北苑街道", "佛堂镇", "江东街道"}, false, 2},
    {"江苏", "苏州", "0512", {"工业园区", "吴中区", "昆山市", "常熟市"}, false, 2},
    {"江苏", "南京", "025", {"江宁区", "鼓楼区", "玄武区", "浦口区"}, false, 1},
    {"福建", "厦门", "0592", {"思明区", "湖里区", "集美区", "海沧区"}, false, 1},
    {"福建", "泉州", "0595", {"晋江市", "石狮市", "丰泽区", "南安市"}, false, 1},
    {"山东", "青岛", "0532", {"黄岛区", "城阳区", "即墨区", "市南区"}, false, 1},
    {"上海", "上海", "021", {"浦东新区", "闵行区", "松江区", "嘉定区"}, true, 2},
    {"北京", "北京", "010", {"朝阳区", "海淀区", "丰台区", "大兴区"}, true, 2},
    {"天津", "天津", "022", {"西青区", "滨海新区", "武清区", "北辰区"}, true, 1},
    {"湖北", "武汉", "027", {"洪山区", "江汉区", "东西湖区", "汉阳区"}, false, 1},
    {"四川", "成都", "028", {"武侯区", "高新区", "郫都区", "双流区"}, false, 1},
    {"河南", "郑州", "0371", {"金水区", "中原区", "二七区", "管城区"}, false, 1},
    {"湖南", "长沙", "0731", {"岳麓区", "雨花区", "芙蓉区", "开福区"}, false, 1},
};

struct Industry {
  const char* nameWords[3];
  const char* products[8];
  const char* hotProducts[4];  // the first product, most of the time
  int hotPercent;
  int weight;
};

// Phone trade first and heavy, so that the keyword 手机 finds several pages.
const Industry kIndustries[] = {
    {{"电子科技", "手机配件", "电子"},
     {"手机壳", "手机钢化膜", "数据线", "充电器", "移动电源", "蓝牙耳机", "手机支架", "车载充电器"},
     {"手机壳", "手机钢化膜", "手机支架", "手机配件"},
     85,
     3},
    {{"通讯设备", "通讯科技", "手机通讯"},
     {"手机", "对讲机", "手机主板", "手机屏幕", "路由器", "光纤收发器", "天线", "信号放大器"},
     {"手机", "手机主板", "手机屏幕", "老人手机"},
     80,
     3},
    {{"数码科技", "智能科技", "数码"},
     {"智能手表", "平板电脑", "蓝牙音箱", "行车记录仪", "手机电池", "无线充电器", "智能手机",
      "VR眼镜"},
     {"智能手机", "手机电池", "手机镜头", "手机电池"},
     60,
     2},
    {{"五金制品", "五金", "精密五金"},
     {"螺丝", "合页", "门锁", "五金配件", "不锈钢管", "铝合金型材", "手机卡托", "弹簧"},
     {"螺丝", "五金配件", "冲压件", "手机卡托"},
     20,
     1},
    {{"塑胶制品", "塑胶", "塑料制品"},
     {"塑料袋", "注塑件", "手机外壳", "塑胶玩具", "塑料瓶", "PVC管", "硅胶按键", "亚克力板"},
     {"注塑件", "塑胶制品", "手机外壳", "塑料袋"},
     20,
     1},
    {{"服饰", "服装", "制衣"},
     {"女装", "童装", "T恤", "牛仔裤", "羽绒服", "衬衫", "运动服", "工作服"},
     {"女装", "童装", "T恤", "工作服"},
     50,
     1},
    {{"照明电器", "光电科技", "照明"},
     {"LED灯", "灯带", "路灯", "台灯", "应急灯", "筒灯", "投光灯", "LED显示屏"},
     {"LED灯", "LED灯", "灯带", "路灯"},
     50,
     1},
    {{"包装材料", "包装制品", "纸品"},
     {"纸箱", "彩盒", "手机包装盒", "泡沫", "胶带", "气泡膜", "吸塑盒", "手提袋"},
     {"纸箱", "彩盒", "手机包装盒", "吸塑盒"},
     40,
     1},
    {{"机械设备", "机械", "自动化设备"},
     {"注塑机", "数控机床", "包装机", "空压机", "点胶机", "贴片机", "激光切割机", "输送线"},
     {"注塑机", "数控机床", "自动化设备", "贴片机"},
     40,
     1},
    {{"家居用品", "日用品", "家纺"},
     {"床上用品", "毛巾", "收纳盒", "厨房用品", "保温杯", "雨伞", "拖鞋", "手机挂绳"},
     {"床上用品", "毛巾", "收纳盒", "保温杯"},
     40,
     1},
    {{"贸易", "商贸", "进出口贸易"},
     {"电子元器件", "手机批发", "服装", "小家电", "日用百货", "建材", "办公用品", "劳保用品"},
     {"手机批发", "电子元器件", "小家电", "日用百货"},
     40,
     1},
    {{"化工", "新材料", "化工科技"},
     {"胶水", "涂料", "油墨", "硅胶", "环氧树脂", "UV胶", "脱模剂", "清洗剂"},
     {"胶水", "涂料", "硅胶", "UV胶"},
     40,
     1},
};

const Word kBrands[] = {
    {"华强", "huaqiang"}, {"鑫达", "xinda"},      {"宏远", "hongyuan"},    {"金盛", "jinsheng"},
    {"永利", "yongli"},   {"恒通", "hengtong"},   {"创新", "chuangxin"},   {"天宇", "tianyu"},
    {"博锐", "borui"},    {"联创", "lianchuang"}, {"润泽", "runze"},       {"佳美", "jiamei"},
    {"瑞祥", "ruixiang"}, {"嘉禾", "jiahe"},      {"明辉", "minghui"},     {"盛世", "shengshi"},
    {"凯达", "kaida"},    {"百川", "baichuan"},   {"中科", "zhongke"},     {"星辰", "xingchen"},
    {"东方", "dongfang"}, {"新锐", "xinrui"},     {"安泰", "antai"},       {"优品", "youpin"},
    {"思远", "siyuan"},   {"德润", "derun"},      {"美佳", "meijia"},      {"汇通", "huitong"},
    {"金源", "jinyuan"},  {"长城", "changcheng"}, {"泰和", "taihe"},       {"远航", "yuanhang"},
    {"冠军", "guanjun"},  {"兴旺", "xingwang"},   {"万达通", "wandatong"}, {"亿丰", "yifeng"},
    {"顺发", "shunfa"},   {"立信", "lixin"},      {"鸿运", "hongyun"},     {"精诚", "jingcheng"},
};

const Word kSurnames[] = {
    {"张", "zhang"}, {"王", "wang"},  {"李", "li"},   {"刘", "liu"},  {"陈", "chen"},
    {"杨", "yang"},  {"黄", "huang"}, {"赵", "zhao"}, {"吴", "wu"},   {"周", "zhou"},
    {"徐", "xu"},    {"孙", "sun"},   {"马", "ma"},   {"朱", "zhu"},  {"胡", "hu"},
    {"郭", "guo"},   {"何", "he"},    {"林", "lin"},  {"罗", "luo"},  {"高", "gao"},
    {"郑", "zheng"}, {"梁", "liang"}, {"谢", "xie"},  {"宋", "song"}, {"唐", "tang"},
    {"许", "xu"},    {"邓", "deng"},  {"冯", "feng"}, {"韩", "han"},  {"曹", "cao"},
};

const Word kGivenNames[] = {
    {"伟", "wei"},       {"芳", "fang"},       {"娜", "na"},        {"敏", "min"},
    {"静", "jing"},      {"丽", "li"},         {"强", "qiang"},     {"磊", "lei"},
    {"军", "jun"},       {"洋", "yang"},       {"勇", "yong"},      {"艳", "yan"},
    {"杰", "jie"},       {"娟", "juan"},       {"涛", "tao"},       {"明", "ming"},
    {"超", "chao"},      {"秀英", "xiuying"},  {"霞", "xia"},       {"平", "ping"},
    {"刚", "gang"},      {"桂英", "guiying"},  {"建华", "jianhua"}, {"晓明", "xiaoming"},
    {"海燕", "haiyan"},  {"志强", "zhiqiang"}, {"丽华", "lihua"},   {"文", "wen"},
    {"国庆", "guoqing"}, {"春梅", "chunmei"},
};

const char* const kTitles[] = {"先生", "女士", "经理", "总经理", "主管"};
const char* const kRoads[] = {"科技园路", "人民路",   "建设路",   "解放路",   "中山路",
                              "工业大道", "创业路",   "新华路",   "长江路",   "华强北路",
                              "环城南路", "兴业路",   "金沙路",   "迎宾大道", "振兴路",
                              "胜利街",   "东环二路", "宝安大道", "五一路",   "青年路"};
const char* const kBuildings[] = {"创新大厦", "国际商务中心", "科技园", "工业区",
                                  "电子城",   "商贸城",       "产业园", "大厦"};
const char* const kBusinessTypes[] = {"生产型",   "贸易型", "生产加工",
                                      "经销批发", "服务型", "招商代理"};
const char* const kMailHosts[] = {"163.com", "126.com",  "sina.com",
                                  "139.com", "yeah.net", "foxmail.com"};
const char* const kMailBoxes[] = {"sales", "info", "service", "market", "admin"};
const char* const kDomainEnds[] = {".com", ".cn", ".com.cn", ".net"};

const char kFullWidthSpace[] = "\u3000";

template <typename T, size_t N>
const T& PickWeighted(Rng& rng, const T (&items)[N]) {
  int total = 0;
  for (const T& item : items)
    total += item.weight;
  int r = rng.Below(total);
  for (const T& item : items) {
    if (r < item.weight) return item;
    r -= item.weight;
  }
  return items[0];
}

std::string Mobile(Rng& rng) {
  return std::string("1") + static_cast<char>('3' + rng.Below(7)) + rng.Digits(9);
}

std::string Landline(Rng& rng, const City& city) {
  // Four-digit area codes also come with seven-digit numbers.
  int digits = (std::string(city.areaCode).size() == 4 && rng.Percent(20)) ? 7 : 8;
  return std::string(city.areaCode) + "-" + static_cast<char>('2' + rng.Below(7)) +
         rng.Digits(digits - 1);
}

std::string QqNumber(Rng& rng) {
  int digits = 6 + rng.Below(5);
  return std::string(1, static_cast<char>('1' + rng.Below(9))) + rng.Digits(digits - 1);
}

std::string CompanyName(Rng& rng, const City& city, const Word& brand, const char* trade,
                        const char* district) {
  std::string c = city.city;
  switch (rng.Below(10)) {
    case 0:
    case 1:
    case 2:
      return c + "市" + brand.text + trade + "有限公司";
    case 3:
    case 4:
      return c + brand.text + trade + "有限公司";
    case 5:
      return std::string(brand.text) + trade + "（" + c + "）有限公司";
    case 6:
      return c + "市" + district + brand.text + trade + "经营部";
    case 7:
      return c + "市" + brand.text + trade + "股份有限公司";
    case 8:
      return std::string(city.province) + brand.text + trade + "集团有限公司";
    default:
      return c + district + brand.text + trade + "商行";
  }
}

void FillContact(Rng& rng, SampleCompany& company, const Word& surname, const Word& given) {
  int form = rng.Below(100);
  std::string person;
  if (form < 65) {
    person = std::string(surname.text) + given.text;
  } else if (form < 77) {
    person = std::string(surname.text) + given.text + " " + rng.Pick(kTitles);
  } else if (form < 87) {
    person = std::string(surname.text) + rng.Pick(kTitles);
  } else {
    // Full-width spaces, as people type them to pad two-character names.
    person = std::string(surname.text) + kFullWidthSpace + given.text;
  }
  int presence = rng.Below(100);
  if (presence < 4) return;  // no contact person on the page
  company.contact = person;
  if (presence < 7) {
    company.contactBlankFirst = true;
  } else if (presence < 19) {
    company.contactFallback = true;
  }
}

SampleCompany MakeCompany(unsigned seed, int index) {
  Rng rng((static_cast<uint64_t>(seed) << 32) ^
          (static_cast<uint64_t>(index) * 0x2545F4914F6CDD1Dull));
  rng.Next();
  SampleCompany company;
  company.id = 100001 + index * 7 + rng.Below(7);
  company.key = "qv" + std::to_string(company.id);

  const City& city = PickWeighted(rng, kCities);
  const Industry& industry = PickWeighted(rng, kIndustries);
  const Word& brand = rng.Pick(kBrands);
  const char* trade = industry.nameWords[rng.Below(3)];
  const char* district = city.districts[rng.Below(4)];
  company.province = city.province;
  company.city = city.city;
  company.district = district;
  company.name = CompanyName(rng, city, brand, trade, district);
  company.businessType = rng.Pick(kBusinessTypes);

  // Products: sometimes a hot one first, then distinct ones from the pool.
  std::vector<std::string> products;
  if (rng.Percent(industry.hotPercent)) products.push_back(industry.hotProducts[rng.Below(4)]);
  int wanted = 3 + rng.Below(3);
  for (int tries = 0; tries < 20 && static_cast<int>(products.size()) < wanted; ++tries) {
    std::string p = industry.products[rng.Below(8)];
    bool seen = false;
    for (const std::string& q : products)
      seen = seen || q == p;
    if (!seen) products.push_back(p);
  }
  for (size_t i = 0; i < products.size(); ++i) {
    if (i > 0) company.products += "、";
    company.products += products[i];
  }

  const Word& surname = rng.Pick(kSurnames);
  const Word& given = rng.Pick(kGivenNames);
  FillContact(rng, company, surname, given);

  int m = rng.Below(100);
  if (m < 8) {
    // none
  } else if (m < 12) {
    company.mobile = Landline(rng, city);
  } else if (m < 16) {
    company.mobile = "+86" + Mobile(rng);
  } else {
    company.mobile = Mobile(rng);
  }

  int t = rng.Below(100);
  if (t < 10) {
    // none
  } else if (t < 15) {
    company.phone = Mobile(rng);
  } else {
    company.phone = Landline(rng, city);
    if (rng.Percent(5)) company.phone += "-8" + rng.Digits(2);
  }

  if (rng.Percent(60)) company.fax = Landline(rng, city);

  bool hasQq = rng.Percent(70);
  if (hasQq) {
    company.qq = QqNumber(rng);
    company.qqQuoteForm = rng.Percent(12);
  }

  int e = rng.Below(100);
  if (e >= 15) {
    int style = rng.Below(10);
    if (style < 3 && hasQq) {
      company.email = company.qq + "@qq.com";
    } else if (style < 7) {
      company.email = std::string(surname.pinyin) + given.pinyin +
                      (rng.Percent(50) ? rng.Digits(2 + rng.Below(3)) : "") + "@" +
                      rng.Pick(kMailHosts);
    } else {
      company.email = std::string(rng.Pick(kMailBoxes)) + "@" + brand.pinyin +
                      (rng.Percent(30) ? "-tech" : "") + rng.Pick(kDomainEnds);
    }
    company.emailFallback = e < 30;
  }

  if (rng.Percent(97)) {
    std::string sep = " ";
    int s = rng.Below(100);
    if (s < 15) {
      sep = kFullWidthSpace;
    } else if (s < 50) {
      sep = "";
    }
    std::string head = city.municipality ? std::string(city.city) + "市"
                                         : std::string(city.province) + "省" + city.city + "市";
    company.address =
        head + sep + district + sep + rng.Pick(kRoads) + std::to_string(1 + rng.Below(300)) + "号";
    if (rng.Percent(40)) {
      company.address += sep + rng.Pick(kBuildings) + static_cast<char>('A' + rng.Below(4)) + "栋" +
                         std::to_string(1 + rng.Below(20)) + "楼";
    }
  }

  company.longLink = rng.Percent(2);
  return company;
}

}  // namespace

std::vector<SampleCompany> GenerateCompanies(unsigned seed, int count) {
  std::vector<SampleCompany> companies;
  if (count <= 0) return companies;
  companies.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i)
    companies.push_back(MakeCompany(seed, i));
  return companies;
}

}  // namespace qorvex
