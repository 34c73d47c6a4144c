// The simulated engine's 26 entry points. Each begins with the engine's own code bytes (emitted
// as bytes, so they are exact), runs them as real code, completes a signature's cut-off last
// instruction sensibly and then continues into the host's implementation in C++ with the
// original arguments. Every branch and call inside the signature bytes lands on real code at the
// distance the bytes encode; a detour's trampoline jumps back into the middle of these bytes, so
// every instruction after the first five bytes must run as written.
//
// Build options: ALTERNATIVE_FORMS uses the second accepted form of the seven functions that have
// one; MISSING_FUNCTION changes one byte of cScene::Render's signature; BOTH_FORMS adds a dead
// copy of iLuxEnemy::OnUpdate's alternative form.

    .intel_syntax noprefix
    .text

// Host implementations (thiscall unless noted).
    .extern _HostEngineMainLoop              // cdecl (cEngine*)
    .extern _HostEngineRunSetup
    .extern _HostUpdaterRunMessage
    .extern _HostSceneRender
    .extern _HostCameraSetPosition
    .extern _HostCameraSetPitch
    .extern _HostCameraSetYaw
    .extern _HostCameraSetRoll
    .extern _HostPlayerAddYaw
    .extern _HostPlayerAddPitch
    .extern _HostHandsPostUpdate
    .extern _HostPropEntityUpdate
    .extern _HostPropOnUpdate
    .extern _HostEnemyOnUpdate
    .extern _HostEntityUpdateWorldMatrix
    .extern _HostBodySetMatrix
    .extern _HostBodyTransformChanged
    .extern _HostMeshUpdateGraphicsForFrame
    .extern _HostEmitterUpdateGraphicsForViewport
    .extern _HostImageTrailRenderEffect
    .extern _HostSubMeshUpdateModelMatrix
    .extern _HostSubMeshGetModelMatrix
    .extern _HostMouseUpdate
    .extern _HostGuiSendMousePos
    .extern _HostInputIsEnabled
    .extern _HostInputActionPressed
    .extern _HostInputUpdateGamePlayerInput

    .globl _engine_security_cookie
    .globl _engine_render_counter
    .globl _engine_enemy_context
    .globl _engine_image_trail_decay

// -------------------------------------------------------------------------------------------
// Far callees first: cLuxInputHandler::UpdateGamePlayerInput calls 314205 bytes back.
    .p2align 4, 0xCC
input_is_enabled:                      // thiscall () -> al
    jmp _HostInputIsEnabled

    .p2align 4, 0xCC
run_setup:                             // thiscall (int)
    jmp _HostEngineRunSetup

// SEH handler of cEngine::Run: this frame handles nothing, the search continues.
    .p2align 4, 0xCC
run_seh_handler:
    mov eax, 1                         // ExceptionContinueSearch
    ret

// -------------------------------------------------------------------------------------------
// 1. cEngine::Run: MSVC frame with an SEH record, a stack cookie, then the main loop.
    .p2align 4, 0xCC
    .globl _engine_cEngine_Run
_engine_cEngine_Run:
    .byte 0x55, 0x8B, 0xEC, 0x6A, 0xFF, 0x68
    .long run_seh_handler
    .byte 0x64, 0xA1, 0x00, 0x00, 0x00, 0x00, 0x50, 0x83, 0xEC, 0x38, 0xA1
    .long _engine_security_cookie
    .byte 0x33, 0xC5, 0x89, 0x45, 0xF0, 0x53, 0x56, 0x57, 0x50, 0x8D, 0x45, 0xF4
    .byte 0x64, 0xA3, 0x00, 0x00, 0x00, 0x00, 0x68
    .long 60                           // argument of the setup step
    .byte 0x8B, 0xF1, 0xE8
    .long run_setup - (. + 4)
    .byte 0xD9, 0xEE, 0x8B, 0x4E, 0x14, 0xDD, 0x5D, 0xBC, 0xD9
    .byte 0xEE                         // completes fldz
    fstp qword ptr [ebp-0x3C]
    push esi
    call _HostEngineMainLoop
    add esp, 4
    // Unlink the SEH record, restore registers, check the cookie.
    lea esp, [ebp-0x54]
    mov ecx, dword ptr [ebp-0x0C]
    mov dword ptr fs:[0], ecx
    pop ecx
    pop edi
    pop esi
    pop ebx
    mov ecx, dword ptr [ebp-0x10]
    xor ecx, ebp
    cmp ecx, dword ptr [_engine_security_cookie]
    jne run_cookie_broken
    mov esp, ebp
    pop ebp
    ret
run_cookie_broken:
    int3

// -------------------------------------------------------------------------------------------
// 2. cUpdater::RunMessage(int message, float dt)
    .p2align 4, 0xCC
    .globl _engine_cUpdater_RunMessage
_engine_cUpdater_RunMessage:
    .byte 0x55, 0x8B, 0xEC, 0x51, 0x53, 0x8B, 0x5D, 0x08, 0x56, 0x57, 0x8B, 0xF9, 0x8B, 0x47, 0x34
    .byte 0x8B, 0x30, 0x83, 0xFB, 0x05, 0x74, 0x67, 0x3B, 0xF0
run_message_tail:
    mov ecx, edi
    pop edi
    pop esi
    pop ebx
    mov esp, ebp
    pop ebp
    jmp _HostUpdaterRunMessage
    .org _engine_cUpdater_RunMessage + 125, 0xCC
    jmp run_message_tail               // message 5 takes the same way

// -------------------------------------------------------------------------------------------
// 3. cScene::Render(float frameTime, int flags)
    .p2align 4, 0xCC
    .globl _engine_cScene_Render
_engine_cScene_Render:
#ifdef MISSING_FUNCTION
    .byte 0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x1C, 0xFF, 0x05
#else
    .byte 0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x18, 0xFF, 0x05
#endif
    .long _engine_render_counter
    .byte 0x8B, 0x41, 0x44, 0x89, 0x4D, 0xFC, 0x8B, 0x08, 0x89, 0x4D, 0xF0, 0x3B
    .byte 0xC8                         // completes cmp ecx, eax
    mov ecx, dword ptr [ebp-4]
    mov esp, ebp
    pop ebp
    jmp _HostSceneRender

// -------------------------------------------------------------------------------------------
// 4. cCamera::SetPosition(const cVector3f&): x and y are stored by the signature bytes.
    .p2align 4, 0xCC
    .globl _engine_cCamera_SetPosition
_engine_cCamera_SetPosition:
    .byte 0x55, 0x8B, 0xEC, 0x8B, 0x45, 0x08, 0xD9, 0x00, 0x51, 0xD9, 0x19, 0x81, 0xC1, 0xCC, 0x01
    .byte 0x00, 0x00, 0xD9, 0x40, 0x04, 0xD9, 0x99, 0x38, 0xFE
    .byte 0xFF, 0xFF                   // completes fstp dword [ecx-0x1C8]
    sub ecx, 0x1CC
    pop eax                            // the pushed copy of ecx
    pop ebp
    jmp _HostCameraSetPosition

// -------------------------------------------------------------------------------------------
// 5-6. cCamera::SetPitch / SetYaw(float): compare the limits, then the host clamps and stores.
    .p2align 4, 0xCC
    .globl _engine_cCamera_SetPitch
_engine_cCamera_SetPitch:
    .byte 0x55, 0x8B, 0xEC, 0xD9, 0x45, 0x08, 0xD9, 0x51, 0x28, 0xD9, 0x41, 0x34, 0xD9, 0xEE, 0xD9
    .byte 0xC0, 0xDD, 0xEA, 0xDF, 0xE0, 0xDD, 0xD9, 0xF6, 0xC4
    .byte 0x44                         // completes test ah, 0x44
    fstp st(0)
    fstp st(0)
    pop ebp
    jmp _HostCameraSetPitch

    .p2align 4, 0xCC
    .globl _engine_cCamera_SetYaw
_engine_cCamera_SetYaw:
    .byte 0x55, 0x8B, 0xEC, 0xD9, 0x45, 0x08, 0xD9, 0x51, 0x2C, 0xD9, 0x41, 0x3C, 0xD9, 0xEE, 0xD9
    .byte 0xC0, 0xDD, 0xEA, 0xDF, 0xE0, 0xDD, 0xD9, 0xF6, 0xC4
    .byte 0x44
    fstp st(0)
    fstp st(0)
    pop ebp
    jmp _HostCameraSetYaw

// -------------------------------------------------------------------------------------------
// 7. cCamera::SetRoll(float): stores roll and marks the camera's update flags.
    .p2align 4, 0xCC
    .globl _engine_cCamera_SetRoll
_engine_cCamera_SetRoll:
    .byte 0x55, 0x8B, 0xEC, 0xD9, 0x45, 0x08, 0xB0, 0x01, 0xD9, 0x59, 0x30, 0x88, 0x81, 0x51, 0x08
    .byte 0x00, 0x00, 0x66, 0xC7, 0x81, 0x53, 0x08, 0x00, 0x00
    .byte 0x01, 0x01                   // completes mov word [ecx+0x853], 0x0101
    pop ebp
    jmp _HostCameraSetRoll

// -------------------------------------------------------------------------------------------
// 8-9. cCamera::AddPitch / AddYaw(float): the sum replaces the argument, then it is a setter.
    .p2align 4, 0xCC
    .globl _engine_cCamera_AddPitch
_engine_cCamera_AddPitch:
    .byte 0x55, 0x8B, 0xEC, 0xD9, 0x45, 0x08, 0xD8, 0x41, 0x28, 0xD9, 0x5D, 0x08, 0xD9, 0x45, 0x08
    .byte 0xD9, 0x51, 0x28, 0xD9, 0x41, 0x34, 0xD9, 0xEE, 0xD9, 0xC0, 0xDD, 0xEA, 0xDF, 0xE0, 0xDD
    .byte 0xD9, 0xF6
    .byte 0xC4, 0x44                   // completes test ah, 0x44
    fstp st(0)
    fstp st(0)
    pop ebp
    jmp _HostCameraSetPitch

    .p2align 4, 0xCC
    .globl _engine_cCamera_AddYaw
_engine_cCamera_AddYaw:
    .byte 0x55, 0x8B, 0xEC, 0xD9, 0x45, 0x08, 0xD8, 0x41, 0x2C, 0xD9, 0x5D, 0x08, 0xD9, 0x45, 0x08
    .byte 0xD9, 0x51, 0x2C, 0xD9, 0x41, 0x3C, 0xD9, 0xEE, 0xD9, 0xC0, 0xDD, 0xEA, 0xDF, 0xE0, 0xDD
    .byte 0xD9, 0xF6
    .byte 0xC4, 0x44
    fstp st(0)
    fstp st(0)
    pop ebp
    jmp _HostCameraSetYaw

// -------------------------------------------------------------------------------------------
// 10. cLuxPlayer::AddYaw(float): while active, turns its camera by twice the amount.
    .p2align 4, 0xCC
    .globl _engine_cLuxPlayer_AddYaw
_engine_cLuxPlayer_AddYaw:
#ifdef ALTERNATIVE_FORMS
    .byte 0x55, 0x8B, 0xEC, 0x56, 0x8B, 0xF1, 0x80, 0xBE, 0xB4, 0x02, 0x00, 0x00, 0x00, 0x74, 0x2B
#else
    .byte 0x55, 0x8B, 0xEC, 0x56, 0x8B, 0xF1, 0x80, 0xBE, 0xB4, 0x02, 0x00, 0x00, 0x00, 0x74, 0x28
#endif
    .byte 0xD9, 0x45, 0x08, 0x51, 0x8B, 0x8E, 0x78, 0x02, 0x00, 0x00, 0xDC, 0xC0, 0xD9, 0x5D, 0x08
    .byte 0xD9, 0x45
    .byte 0x08                         // completes fld dword [ebp+8]
    fstp dword ptr [esp]
    call _engine_cCamera_AddYaw
    jmp player_add_yaw_tail
#ifdef ALTERNATIVE_FORMS
    .org _engine_cLuxPlayer_AddYaw + 58, 0xCC
#else
    .org _engine_cLuxPlayer_AddYaw + 55, 0xCC
#endif
player_add_yaw_tail:
    mov ecx, esi
    pop esi
    pop ebp
    jmp _HostPlayerAddYaw

// -------------------------------------------------------------------------------------------
// 11. cLuxPlayer::AddPitch(float): the amount (doubled while active, else the stored source)
//     replaces the argument.
    .p2align 4, 0xCC
    .globl _engine_cLuxPlayer_AddPitch
_engine_cLuxPlayer_AddPitch:
    .byte 0x55, 0x8B, 0xEC, 0x56, 0x8B, 0xF1, 0x80, 0xBE, 0xB4, 0x02, 0x00, 0x00, 0x00, 0x74, 0x0D
    .byte 0xD9, 0x45, 0x08, 0xDC, 0xC0, 0xD9, 0x5D, 0x08, 0xD9, 0x45, 0x08, 0xEB
#ifdef ALTERNATIVE_FORMS
    .byte 0x56
#else
    .byte 0x52
#endif
    .byte 0xD9, 0x86, 0xC4, 0x00
    .byte 0x00, 0x00                   // completes fld dword [esi+0xC4]
    jmp player_add_pitch_tail
#ifdef ALTERNATIVE_FORMS
    .org _engine_cLuxPlayer_AddPitch + 114, 0xCC
#else
    .org _engine_cLuxPlayer_AddPitch + 110, 0xCC
#endif
player_add_pitch_tail:
    fstp dword ptr [ebp+8]
    mov ecx, esi
    pop esi
    pop ebp
    jmp _HostPlayerAddPitch

// -------------------------------------------------------------------------------------------
// 12. cLuxPlayerHands::PostUpdate(float): complete in its bytes; calls its body 823 (928) bytes
//     back.
    .p2align 4, 0xCC
hands_post_update_body:                // thiscall (float)
    jmp _HostHandsPostUpdate
#ifdef ALTERNATIVE_FORMS
    .org hands_post_update_body + 928, 0xCC
#else
    .org hands_post_update_body + 823, 0xCC
#endif
    .globl _engine_cLuxPlayerHands_PostUpdate
_engine_cLuxPlayerHands_PostUpdate:
    .byte 0x55, 0x8B, 0xEC, 0xD9, 0x45, 0x08, 0x51, 0xD9, 0x1C, 0x24, 0xE8
    .long hands_post_update_body - (. + 4)
    .byte 0x5D, 0xC2, 0x04, 0x00

// -------------------------------------------------------------------------------------------
// 13. iLuxProp::OnUpdate(float): the entity update 4751 bytes back, then the prop's own 714
//     bytes back.
    .p2align 4, 0xCC
prop_entity_update:                    // thiscall (float)
    jmp _HostPropEntityUpdate
    .org prop_entity_update + 4751 - 714, 0xCC
prop_own_update:                       // thiscall (float)
    jmp _HostPropOnUpdate
    .org prop_entity_update + 4751, 0xCC
    .globl _engine_iLuxProp_OnUpdate
_engine_iLuxProp_OnUpdate:
#ifdef ALTERNATIVE_FORMS
    .byte 0x55, 0x8B, 0xEC, 0x51, 0xD9, 0x45, 0x08, 0x56, 0x57, 0x51, 0xD9, 0x1C, 0x24, 0x8B, 0xF1
    .byte 0xE8
    .long prop_entity_update - (. + 4)
    .byte 0xD9, 0x45, 0x08, 0x51, 0x8B, 0xCE, 0xD9, 0x1C, 0x24, 0xE8
    .long prop_own_update - (. + 4)
    pop edi
    pop esi
    mov esp, ebp
    pop ebp
    ret 4
#else
    .byte 0x55, 0x8B, 0xEC, 0xD9, 0x45, 0x08, 0x56, 0x57, 0x51, 0xD9, 0x1C, 0x24, 0x8B, 0xF1, 0xE8
    .long prop_entity_update - (. + 4)
    .byte 0xD9, 0x45, 0x08, 0x51, 0x8B, 0xCE, 0xD9, 0x1C, 0x24, 0xE8
    .long prop_own_update - (. + 4)
    pop edi
    pop esi
    pop ebp
    ret 4
#endif

// -------------------------------------------------------------------------------------------
// 14. iLuxEnemy::OnUpdate(float): a disabled enemy (byte 0x10C set) skips its update.
    .p2align 4, 0xCC
    .globl _engine_iLuxEnemy_OnUpdate
_engine_iLuxEnemy_OnUpdate:
#ifdef ALTERNATIVE_FORMS
    .byte 0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x08, 0x56, 0x8B, 0xF1, 0x80, 0xBE, 0x0C, 0x01, 0x00, 0x00
    .byte 0x00, 0x0F, 0x85
    .long enemy_skip - (. + 4)
    .byte 0xA1
    .long _engine_enemy_context
    .byte 0xD9, 0x45, 0x08, 0x8B, 0x08
    fstp st(0)
#else
    .byte 0x55, 0x8B, 0xEC, 0x51, 0x51, 0x56, 0x8B, 0xF1, 0x80, 0xBE, 0x0C, 0x01, 0x00, 0x00, 0x00
    .byte 0x0F, 0x85, 0x30, 0x01, 0x00, 0x00, 0xA1
    .long _engine_enemy_context
    .byte 0xD9, 0x45, 0x08, 0x8B, 0x08, 0xDD
    .byte 0x40, 0x08                   // completes fld qword [eax+8]
    fstp st(0)
    fstp st(0)
#endif
    mov ecx, esi
    pop esi
    mov esp, ebp
    pop ebp
    jmp _HostEnemyOnUpdate
#ifndef ALTERNATIVE_FORMS
    .org _engine_iLuxEnemy_OnUpdate + 325, 0xCC
#endif
enemy_skip:
    pop esi
    mov esp, ebp
    pop ebp
    ret 4

#ifdef BOTH_FORMS
// A dead copy of the other accepted form: the executable then holds the function twice.
    .p2align 4, 0xCC
    .byte 0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x08, 0x56, 0x8B, 0xF1, 0x80, 0xBE, 0x0C, 0x01, 0x00, 0x00
    .byte 0x00, 0x0F, 0x85, 0x00, 0x00, 0x00, 0x00, 0xA1, 0x00, 0x00, 0x00, 0x00, 0xD9, 0x45, 0x08
    .byte 0x8B, 0x08
    int3
#endif

// -------------------------------------------------------------------------------------------
// 15. iEntity3D::GetWorldMatrix(): brings the cached world matrix up to date, returns it.
    .p2align 4, 0xCC
    .globl _engine_iEntity3D_GetWorldMatrix
_engine_iEntity3D_GetWorldMatrix:
    .byte 0x56, 0x8B, 0xF1, 0xE8
    .long entity_update_world_matrix - (. + 4)
    .byte 0x8D, 0x46, 0x6C, 0x5E, 0xC3
#ifdef ALTERNATIVE_FORMS
    .org _engine_iEntity3D_GetWorldMatrix + 112, 0xCC
#else
    .org _engine_iEntity3D_GetWorldMatrix + 128, 0xCC
#endif
entity_update_world_matrix:            // thiscall ()
    jmp _HostEntityUpdateWorldMatrix

// -------------------------------------------------------------------------------------------
// 16. iEntity3D::GetEntityParent()
    .p2align 4, 0xCC
    .globl _engine_iEntity3D_GetEntityParent
_engine_iEntity3D_GetEntityParent:
    .byte 0x8B, 0x81, 0x88, 0x02, 0x00, 0x00, 0xC3

// -------------------------------------------------------------------------------------------
// 17. cPhysicsBodyNewton::GetEnabled(): awake unless the physics library says it sleeps.
    .p2align 4, 0xCC
    .globl _engine_cPhysicsBodyNewton_GetEnabled
_engine_cPhysicsBodyNewton_GetEnabled:
    .byte 0x8B, 0x81, 0xB0, 0x03, 0x00, 0x00, 0x50, 0xFF, 0x15
    .long __imp__NewtonBodyGetSleepState
    .byte 0x83, 0xC4, 0x04, 0x85, 0xC0, 0x0F, 0x94, 0xC0, 0xC3

// -------------------------------------------------------------------------------------------
// 18. The Newton transform callback, cdecl (body, matrix, thread index): finds the host body
//     through the physics library and stores the new matrix on it.
    .p2align 4, 0xCC
    .globl _engine_cPhysicsBodyNewton_TransformCallback
_engine_cPhysicsBodyNewton_TransformCallback:
    .byte 0x55, 0x8B, 0xEC, 0x8B, 0x45, 0x08, 0x56, 0x50, 0xFF, 0x15
    .long __imp__NewtonBodyGetUserData
    .byte 0x8B, 0x4D, 0x0C, 0x83, 0xC4, 0x04, 0x8B, 0xF0, 0x51, 0x8D, 0x4E, 0x2C, 0xE8
    .long body_set_matrix - (. + 4)
    .byte 0x6A
    .byte 0x00                         // completes push 0
    mov ecx, esi
    call _HostBodyTransformChanged
    pop esi
    pop ebp
    ret
    .p2align 4, 0xCC
body_set_matrix:                       // thiscall (const float*) on the body's matrix block
    jmp _HostBodySetMatrix

// -------------------------------------------------------------------------------------------
// 19. cMeshEntity::UpdateGraphicsForFrame(float)
    .p2align 4, 0xCC
    .globl _engine_cMeshEntity_UpdateGraphicsForFrame
_engine_cMeshEntity_UpdateGraphicsForFrame:
    .byte 0x55, 0x8B, 0xEC, 0x81, 0xEC, 0x8C, 0x00, 0x00, 0x00, 0x53, 0x57, 0x8B, 0xF9, 0x33, 0xDB
    .byte 0x89, 0x7D, 0xF4, 0x38, 0x9F, 0xBC, 0x02, 0x00, 0x00
    mov ecx, edi
    pop edi
    pop ebx
    mov esp, ebp
    pop ebp
    jmp _HostMeshUpdateGraphicsForFrame

// -------------------------------------------------------------------------------------------
// 20. iParticleEmitter::UpdateGraphicsForViewport(void* frustum, float frameTime) -> bool
    .p2align 4, 0xCC
    .globl _engine_iParticleEmitter_UpdateGraphicsForViewport
_engine_iParticleEmitter_UpdateGraphicsForViewport:
    .byte 0x55, 0x8B, 0xEC, 0x81, 0xEC, 0x1C, 0x02, 0x00, 0x00, 0xA1
    .long _engine_security_cookie
    .byte 0x33, 0xC5, 0x89, 0x45, 0xFC, 0x53, 0x56, 0x8B, 0xF1, 0x8B
    .byte 0xC6                         // completes mov eax, esi
    mov ecx, dword ptr [ebp-4]
    xor ecx, ebp
    cmp ecx, dword ptr [_engine_security_cookie]
    jne emitter_cookie_broken
    mov ecx, esi
    pop esi
    pop ebx
    mov esp, ebp
    pop ebp
    jmp _HostEmitterUpdateGraphicsForViewport
emitter_cookie_broken:
    int3

// -------------------------------------------------------------------------------------------
// 21. cPostEffect_ImageTrail::RenderEffect(void* input, void* output) -> texture
    .p2align 4, 0xCC
    .globl _engine_cPostEffect_ImageTrail_RenderEffect
_engine_cPostEffect_ImageTrail_RenderEffect:
    .byte 0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x14, 0xD9, 0xE8, 0x56, 0xD9, 0x55, 0xF8, 0x57, 0xD9, 0x5D
    .byte 0xFC, 0x83, 0xEC, 0x08, 0xD9, 0x05
    .long _engine_image_trail_decay
    .byte 0x8B, 0xF1, 0x8B, 0x4E, 0x18, 0xD9, 0x5C
    .byte 0x24, 0x04                   // completes fstp dword [esp+4]
    mov ecx, esi
    add esp, 8
    pop edi
    pop esi
    mov esp, ebp
    pop ebp
    jmp _HostImageTrailRenderEffect

// -------------------------------------------------------------------------------------------
// 22. cSubMeshEntity::GetModelMatrix(void* camera) -> const cMatrixf*
    .p2align 4, 0xCC
    .globl _engine_cSubMeshEntity_GetModelMatrix
_engine_cSubMeshEntity_GetModelMatrix:
    .byte 0x56, 0x8B, 0xF1, 0x80, 0xBE, 0x3D, 0x03, 0x00, 0x00, 0x00, 0x74, 0x38, 0x8A, 0x86, 0x9A
    .byte 0x03, 0x00, 0x00, 0x84, 0xC0, 0x78, 0x2E, 0x75, 0x24, 0x68
    .long 0x10                         // update flags
    .byte 0xE8
    .long submesh_update_model_matrix - (. + 4)
    jmp submesh_tail
    .org _engine_cSubMeshEntity_GetModelMatrix + 60, 0xCC
submesh_tail:
    mov ecx, esi
    pop esi
    jmp _HostSubMeshGetModelMatrix
    .org _engine_cSubMeshEntity_GetModelMatrix + 68, 0xCC
    jmp submesh_tail                   // no skeleton or a negative state: no update
submesh_update_model_matrix:           // thiscall (int flags)
    jmp _HostSubMeshUpdateModelMatrix

// -------------------------------------------------------------------------------------------
// 23. cMouseSDL::Update(): pumps events, stores SDL's relative motion as its own counts.
    .p2align 4, 0xCC
    .globl _engine_cMouseSDL_Update
_engine_cMouseSDL_Update:
    .byte 0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x14, 0x53, 0x56, 0x8B, 0xF1, 0x33, 0xDB, 0x57, 0x38, 0x5E
    .byte 0x24, 0x74, 0x1E, 0x8D, 0x7B, 0x0A, 0xE8
    .long mouse_pump_events - (. + 4)
    .byte 0x8D, 0x45, 0xF4, 0x50, 0x8D, 0x4D
    .byte 0xF8                         // completes lea ecx, [ebp-8]
    jmp mouse_read_motion
    .org _engine_cMouseSDL_Update + 48, 0xCC
mouse_tail:
    mov ecx, esi
    pop edi
    pop esi
    pop ebx
    mov esp, ebp
    pop ebp
    jmp _HostMouseUpdate
mouse_read_motion:
    pop eax                            // &x, pushed by the bytes above
    mov dword ptr [ebp-0x0C], 0
    mov dword ptr [ebp-8], 0
    push ecx
    push eax
    call dword ptr [__imp__SDL_GetRelativeMouseState]
    add esp, 8
    mov eax, dword ptr [ebp-0x0C]
    mov dword ptr [esi+0x30], eax      // stored, not added: motion nobody read in a tick is gone
    mov eax, dword ptr [ebp-8]
    mov dword ptr [esi+0x34], eax
    jmp mouse_tail
mouse_pump_events:
    jmp dword ptr [__imp__SDL_PumpEvents]

// -------------------------------------------------------------------------------------------
// 24. cMouseSDL::GetRelPosition() -> cVector2l by value (hidden result pointer): complete.
    .p2align 4, 0xCC
    .globl _engine_cMouseSDL_GetRelPosition
_engine_cMouseSDL_GetRelPosition:
    .byte 0x55, 0x8B, 0xEC, 0x8B, 0x51, 0x30, 0x8B, 0x45, 0x08, 0x89, 0x10, 0x8B, 0x51, 0x34, 0x89
    .byte 0x50, 0x04, 0x33, 0xD2, 0x89, 0x51, 0x30, 0x89, 0x51, 0x34, 0x5D, 0xC2, 0x04, 0x00

// -------------------------------------------------------------------------------------------
// 25. cGui::SendMousePos(const cVector2l& position, const cVector2l& relative) -> bool
    .p2align 4, 0xCC
    .globl _engine_cGui_SendMousePos
_engine_cGui_SendMousePos:
    .byte 0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x5C, 0x56, 0x8B, 0xF1, 0x83, 0x7E, 0x34, 0x00, 0x75, 0x09
    .byte 0x32, 0xC0, 0x5E, 0x8B, 0xE5, 0x5D, 0xC2, 0x08, 0x00, 0x8B, 0x46, 0x24, 0x8B, 0x48, 0x20
    .byte 0x8B, 0x45
    .byte 0x08                         // completes mov eax, [ebp+8]
    mov ecx, esi
    pop esi
    mov esp, ebp
    pop ebp
    jmp _HostGuiSendMousePos

// -------------------------------------------------------------------------------------------
// 26. cLuxInputHandler::UpdateGamePlayerInput(): its first callee lies 314205 bytes before it.
    .org input_is_enabled + 314205, 0xCC
    .globl _engine_cLuxInputHandler_UpdateGamePlayerInput
_engine_cLuxInputHandler_UpdateGamePlayerInput:
#ifdef ALTERNATIVE_FORMS
    .byte 0x55, 0x8B, 0xEC, 0xD9, 0xEE, 0x83, 0xEC, 0x40, 0x56, 0x8B, 0xF1, 0x8B, 0x4E, 0x38, 0xD8
    .byte 0x99, 0x84, 0x00, 0x00, 0x00, 0xDF, 0xE0, 0xF6, 0xC4, 0x01, 0x75, 0x5D, 0x8B, 0x4E, 0x34
    .byte 0x6A, 0x28
    call input_action_pressed
    mov ecx, esi
    pop esi
    mov esp, ebp
    pop ebp
    jmp _HostInputUpdateGamePlayerInput
    .org _engine_cLuxInputHandler_UpdateGamePlayerInput + 120, 0xCC
    mov ecx, esi                       // input off: nothing to read
    pop esi
    mov esp, ebp
    pop ebp
    ret
    .org _engine_cLuxInputHandler_UpdateGamePlayerInput + 249, 0xCC
input_action_pressed:                  // thiscall (int action) -> al
    jmp _HostInputActionPressed
#else
    .byte 0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x38, 0x53, 0x56, 0x8B, 0xF1, 0x57, 0x8B, 0x7E, 0x38, 0x8B
    .byte 0xCF, 0xE8
    .long input_is_enabled - (. + 4)
    .byte 0x84, 0xC0, 0x74, 0x5D, 0x8B, 0x4E, 0x34, 0x6A, 0x28, 0xE8, 0xD6
    .byte 0x00, 0x00, 0x00             // completes call +0xD6
    mov ecx, esi
    pop edi
    pop esi
    pop ebx
    mov esp, ebp
    pop ebp
    jmp _HostInputUpdateGamePlayerInput
    .org _engine_cLuxInputHandler_UpdateGamePlayerInput + 118, 0xCC
    pop edi                            // input off: nothing to read
    pop esi
    pop ebx
    mov esp, ebp
    pop ebp
    ret
    .org _engine_cLuxInputHandler_UpdateGamePlayerInput + 249, 0xCC
input_action_pressed:                  // thiscall (int action) -> al
    jmp _HostInputActionPressed
#endif

// -------------------------------------------------------------------------------------------
    .data
    .p2align 2
_engine_security_cookie:
    .long 0xBB40E64E
_engine_render_counter:
    .long 0
_engine_image_trail_decay:
    .float 0.5
_engine_enemy_context:
    .long engine_enemy_time
engine_enemy_time:
    .long 0, 0
    .double 0.016666666666666666
