// The talker's stack depth from its source. The talker is small, flat code: labels, branches,
// BSR/JSR to labels, RTS, pushes and pulls. Each routine (a call's target) is walked with the
// depth at every instruction relative to its entry; a call adds its return address and the
// callee's own deepest. Every place must be reached with one depth, which holds for loops
// that pull what they push.
#include "talker_stack.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

namespace {

enum InstructionKind {
    PLAIN,
    PUSH,
    PULL,
    SET_STACK,
    CALL,
    JUMP,
    BRANCH,
    RETURN,
    DATA,
    UNSUPPORTED
};

struct Instruction {
    InstructionKind eKind;
    long lBytes;          // what a push or pull moves
    std::string sTarget;  // the label a call, jump or branch names
    int nLine;
};

struct KindRow {
    const char *pszMnemonic;
    InstructionKind eKind;
    long lBytes;
};

const KindRow KIND_ROWS[] = {
    {"psha", PUSH, 1},       {"pshb", PUSH, 1},        {"pshx", PUSH, 2},
    {"pshy", PUSH, 2},       {"des", PUSH, 1},         {"pula", PULL, 1},
    {"pulb", PULL, 1},       {"pulx", PULL, 2},        {"puly", PULL, 2},
    {"ins", PULL, 1},        {"lds", SET_STACK, 0},    {"bsr", CALL, 0},
    {"jsr", CALL, 0},        {"bra", JUMP, 0},         {"jmp", JUMP, 0},
    {"rts", RETURN, 0},      {"bcc", BRANCH, 0},       {"bcs", BRANCH, 0},
    {"beq", BRANCH, 0},      {"bge", BRANCH, 0},       {"bgt", BRANCH, 0},
    {"bhi", BRANCH, 0},      {"bhs", BRANCH, 0},       {"ble", BRANCH, 0},
    {"blo", BRANCH, 0},      {"bls", BRANCH, 0},       {"blt", BRANCH, 0},
    {"bmi", BRANCH, 0},      {"bne", BRANCH, 0},       {"bpl", BRANCH, 0},
    {"bvc", BRANCH, 0},      {"bvs", BRANCH, 0},       {"brn", BRANCH, 0},
    {"brclr", BRANCH, 0},    {"brset", BRANCH, 0},     {"rti", UNSUPPORTED, 0},
    {"swi", UNSUPPORTED, 0}, {"wai", UNSUPPORTED, 0},  {"txs", UNSUPPORTED, 0},
    {"tys", UNSUPPORTED, 0}, {"stop", UNSUPPORTED, 0},
};

// Directives that put bytes where code could run into them.
const char *const DATA_DIRECTIVES[] = {".byte", ".word",  ".skip",  ".space",
                                       ".fill", ".ascii", ".asciz", ".long"};

struct TalkerSource {
    std::vector<Instruction> instructions;
    std::map<std::string, size_t> labels;  // the index of the instruction each label names
};

std::string Lower(std::string sWord) {
    for (char &c : sWord) c = char(tolower((unsigned char)c));
    return sWord;
}

// The line without its comment; a ';' inside quotes is a character.
std::string StripComment(const std::string &sLine) {
    char cQuote = 0;
    for (size_t i = 0; i < sLine.size(); i++) {
        char c = sLine[i];
        if (cQuote != 0 && c == cQuote)
            cQuote = 0;
        else if (cQuote == 0 && (c == '\'' || c == '"'))
            cQuote = c;
        else if (cQuote == 0 && c == ';')
            return sLine.substr(0, i);
    }
    return sLine;
}

Instruction Classify(const std::vector<std::string> &words, int nLine) {
    std::string sMnemonic = Lower(words[0]);
    Instruction instruction = {PLAIN, 0, "", nLine};
    for (const char *pszData : DATA_DIRECTIVES) {
        if (sMnemonic == pszData) instruction.eKind = DATA;
    }
    for (const KindRow &row : KIND_ROWS) {
        if (sMnemonic != row.pszMnemonic) continue;
        instruction.eKind = row.eKind;
        instruction.lBytes = row.lBytes;
    }
    InstructionKind eKind = instruction.eKind;
    if ((eKind == CALL || eKind == JUMP || eKind == BRANCH) && words.size() > 1)
        instruction.sTarget = words.back();  // BRCLR and BRSET name it last, after a space
    return instruction;
}

// One line: an optional "label:", then an instruction or a directive. "name = value" defines
// a symbol, and directives that emit nothing (.text, .if, .error) are passed over.
void ReadLine(const std::string &sLine, int nLine, TalkerSource *pSource) {
    std::istringstream words(StripComment(sLine));
    std::vector<std::string> rgWords;
    for (std::string sWord; words >> sWord;) rgWords.push_back(sWord);
    if (!rgWords.empty() && rgWords[0].back() == ':') {
        pSource->labels[rgWords[0].substr(0, rgWords[0].size() - 1)] = pSource->instructions.size();
        rgWords.erase(rgWords.begin());
    }
    if (rgWords.empty() || (rgWords.size() > 1 && rgWords[1] == "=")) return;
    Instruction instruction = Classify(rgWords, nLine);
    if (rgWords[0][0] == '.' && instruction.eKind != DATA) return;
    pSource->instructions.push_back(instruction);
}

int ReadSource(const std::string &sPath, TalkerSource *pSource) {
    std::ifstream file(sPath);
    if (!file) {
        fprintf(stderr, "make_talker_image: cannot open %s\n", sPath.c_str());
        return 0;
    }
    int nLine = 0;
    for (std::string sLine; std::getline(file, sLine);) ReadLine(sLine, ++nLine, pSource);
    return 1;
}

class StackWalk {
  public:
    StackWalk(const TalkerSource &source, const std::string &sPath)
        : source_(source), sPath_(sPath) {}

    // The deepest the routine at iEntry pushes, its callees included; -1 after a message.
    long Deepest(size_t iEntry) {
        auto known = deepest_.find(iEntry);
        if (known != deepest_.end()) return known->second;
        if (!walking_.insert(iEntry).second) return Fail(iEntry, "a routine calls itself");
        long lDeepest = Walk(iEntry);
        walking_.erase(iEntry);
        if (lDeepest >= 0) deepest_[iEntry] = lDeepest;
        return lDeepest;
    }

  private:
    long Fail(size_t iAt, const char *pszWhy) { return Refuse(iAt, pszWhy) - 1; }

    // Says why the stack can't be followed at iAt; returns 0.
    int Refuse(size_t iAt, const char *pszWhy) {
        int nLine = iAt < source_.instructions.size() ? source_.instructions[iAt].nLine : 0;
        fprintf(stderr, "make_talker_image: %s line %d: cannot follow the stack: %s\n",
                sPath_.c_str(), nLine, pszWhy);
        return 0;
    }

    // The instruction a call, jump or branch goes to; SIZE_MAX when it names no label.
    size_t TargetOf(const Instruction &instruction) const {
        auto label = source_.labels.find(instruction.sTarget);
        return label == source_.labels.end() ? SIZE_MAX : label->second;
    }

    long Walk(size_t iEntry) {
        std::map<size_t, long> depthAt;
        std::vector<std::pair<size_t, long>> pending = {{iEntry, 0}};
        long lDeepest = 0;
        while (!pending.empty()) {
            auto [iAt, lDepth] = pending.back();
            pending.pop_back();
            if (iAt >= source_.instructions.size()) return Fail(iAt, "code runs past its end");
            auto seen = depthAt.find(iAt);
            if (seen != depthAt.end()) {
                if (seen->second != lDepth) return Fail(iAt, "reached with two stack depths");
                continue;
            }
            depthAt[iAt] = lDepth;
            if (!Step(iAt, lDepth, &pending, &lDeepest)) return -1;
        }
        return lDeepest;
    }

    // Follows one instruction: queues where it goes on with which depth.
    int Step(size_t iAt, long lDepth, std::vector<std::pair<size_t, long>> *pPending,
             long *plDeepest) {
        const Instruction &instruction = source_.instructions[iAt];
        size_t iTarget = TargetOf(instruction);
        switch (instruction.eKind) {
            case DATA:
                return Refuse(iAt, "code runs into data");
            case UNSUPPORTED:
                return Refuse(iAt, "an instruction that moves the stack freely");
            case RETURN:
                return lDepth == 0 || Refuse(iAt, "returns with bytes still pushed");
            case PUSH:
                lDepth += instruction.lBytes;
                break;
            case PULL:
                lDepth -= instruction.lBytes;
                if (lDepth < 0) return Refuse(iAt, "pulls what its routine did not push");
                break;
            case SET_STACK:
                lDepth = 0;
                break;
            case CALL: {
                long lCallee = iTarget == SIZE_MAX ? Fail(iAt, "calls no label") : Deepest(iTarget);
                if (lCallee < 0) return 0;
                *plDeepest = std::max(*plDeepest, lDepth + 2 + lCallee);
                break;
            }
            case JUMP:
            case BRANCH:
                if (iTarget == SIZE_MAX) return Refuse(iAt, "jumps to no label");
                pPending->push_back({iTarget, lDepth});
                if (instruction.eKind == JUMP) return 1;
                break;
            case PLAIN:
                break;
        }
        *plDeepest = std::max(*plDeepest, lDepth);
        pPending->push_back({iAt + 1, lDepth});
        return 1;
    }

    const TalkerSource &source_;
    const std::string &sPath_;
    std::map<size_t, long> deepest_;
    std::set<size_t> walking_;
};

}  // namespace

int FindDeepestStack(const std::string &sSource, const char *pszEntry, long *plDeepest) {
    TalkerSource source;
    if (!ReadSource(sSource, &source)) return 0;
    auto entry = source.labels.find(pszEntry);
    if (entry == source.labels.end()) {
        fprintf(stderr, "make_talker_image: %s has no label %s\n", sSource.c_str(), pszEntry);
        return 0;
    }
    StackWalk walk(source, sSource);
    *plDeepest = walk.Deepest(entry->second);
    return *plDeepest >= 0;
}
