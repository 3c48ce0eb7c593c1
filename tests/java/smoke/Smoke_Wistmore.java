import com.sun.tools.attach.AgentInitializationException;
import com.sun.tools.attach.VirtualMachine;
import java.util.List;
import zoltest.TestEnv;

public class Smoke_Wistmore implements zoltest.SmokeScenario {
    public String loadedBy() {
        return "attach: VirtualMachine.loadAgentPath";
    }

    public String scenario() {
        return "attach to self fails with -1";
    }

    public List<String> jvmOptions() {
        return List.of("-Djdk.attach.allowAttachSelf=true", "-XX:+EnableDynamicAgentLoading");
    }

    public void run() throws Exception {
        VirtualMachine vm = VirtualMachine.attach(String.valueOf(ProcessHandle.current().pid()));
        try {
            vm.loadAgentPath(TestEnv.library("Wistmore").toString());
            throw new AssertionError("attach succeeded");
        } catch (AgentInitializationException e) {
            if (e.returnValue() != -1) {
                throw new AssertionError("attach failed with " + e.returnValue());
            }
        } finally {
            vm.detach();
        }
    }
}
